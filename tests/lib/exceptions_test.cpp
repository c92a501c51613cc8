#include "lib/exceptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tolvane_texts.h"

namespace ZRK {
namespace {

TEST(ExceptionsTest, MessagesAreTheCodePage932Texts) {
    // "INDEXが範囲外です。": が is 82 AA, 。 is 81 42.
    EXPECT_EQ(std::string(CIndexOutOfBoundsException(0).GetMessageText()),
              "INDEX\x82\xaa\x94\xcd\x88\xcd\x8a\x4f\x82\xc5\x82\xb7\x81\x42");
    EXPECT_STREQ(CNullPointerException(0).GetMessageText(), Tolvane::Text::kNullPointer);
    EXPECT_STREQ(CInvalidParamException(0).GetMessageText(), Tolvane::Text::kInvalidParam);
    EXPECT_STREQ(CNotSupportException(0).GetMessageText(), Tolvane::Text::kNotSupport);
    EXPECT_EQ(std::strncmp(Tolvane::Text::kNullPointer, "NULL", 4), 0);
}

TEST(ExceptionsTest, CaughtByReferenceToRoot) {
    try {
        throw CIndexOutOfBoundsException(0);
    } catch (const CZrkException& e) {
        EXPECT_STREQ(e.GetMessageText(), Tolvane::Text::kIndexOutOfBounds);
        EXPECT_NE(dynamic_cast<const CIndexOutOfBoundsException*>(&e), nullptr);
        EXPECT_EQ(e.GetDetail(), 0);
        return;
    }
    FAIL() << "not caught";
}

TEST(ExceptionsTest, CopyOutlivesOriginal) {
    CZrkException copy(nullptr, 0);
    {
        const CZrkException first("message text", 7);
        copy = first;
        // Both share one buffer.
        EXPECT_EQ(copy.GetMessageText(), first.GetMessageText());
    }
    EXPECT_STREQ(copy.GetMessageText(), "message text");
    EXPECT_EQ(copy.GetDetail(), 7);
}

TEST(ExceptionsTest, OwnCopyOfTheText) {
    char text[] = "volatile";
    CZrkException e(text, 0);
    text[0] = 'X';
    EXPECT_STREQ(e.GetMessageText(), "volatile");
}

TEST(ExceptionsTest, NullTextGivesEmptyMessage) {
    CZrkException e(nullptr, 0);
    ASSERT_NE(e.GetMessageText(), nullptr);
    EXPECT_STREQ(e.GetMessageText(), "");
}

}  // namespace
}  // namespace ZRK
