#include "lib/exceptions.h"

#include <gtest/gtest.h>

#include <string>

#include "lib/nls.h"

namespace ZRK {
namespace {

TEST(ExceptionsTest, EachKindCarriesItsCodePage932MessageAndIsCaughtAtTheRoot) {
    // が is 82 AA, 。 is 81 42.
    EXPECT_EQ(std::string(CIndexOutOfBoundsException(0).GetMessageText()),
              "INDEX\x82\xaa\x94\xcd\x88\xcd\x8a\x4f\x82\xc5\x82\xb7\x81\x42");
    struct Row {
        void (*pThrow)();
        const char* pszUtf8;
    } const rows[] = {
        {[] { throw CNullPointerException(3); }, "NULLポインタです。"},
        {[] { throw CIndexOutOfBoundsException(3); }, "INDEXが範囲外です。"},
        {[] { throw CInvalidParamException(3); }, "パラメータが不正です。"},
        {[] { throw CNotSupportException(3); }, "サポートされていません。"},
    };
    for (const Row& r : rows) {
        try {
            r.pThrow();
            ADD_FAILURE() << "not thrown";
        } catch (const CZrkException& e) {
            EXPECT_EQ(Cp932ToUtf8(e.GetMessageText()), r.pszUtf8);
            EXPECT_EQ(e.GetDetail(), 3);
        }
    }
}

TEST(ExceptionsTest, MessageIsAPrivateCopySharedByCopies) {
    char text[] = "message text";
    CZrkException copy(nullptr);
    EXPECT_STREQ(copy.GetMessageText(), "");
    {
        const CZrkException first(text, 7);
        text[0] = 'X';
        copy = first;
        EXPECT_EQ(copy.GetMessageText(), first.GetMessageText());
    }
    EXPECT_STREQ(copy.GetMessageText(), "message text");
    EXPECT_EQ(copy.GetDetail(), 7);
}

}  // namespace
}  // namespace ZRK
