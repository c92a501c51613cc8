#include "lib/exceptions.h"

#include <cstring>

#include "tolvane_texts.h"

namespace ZRK {

CZrkException::CZrkException(const char* pszText, std::int32_t nDetail) : m_nDetail(nDetail) {
    const char* psz = pszText != nullptr ? pszText : "";
    const std::size_t nSize = std::strlen(psz) + 1;
    char* pCopy = new char[nSize];
    std::memcpy(pCopy, psz, nSize);
    m_message.Reset(pCopy);
}

const char* CZrkException::GetMessageText() const noexcept {
    const char* psz = m_message.Get();
    return psz != nullptr ? psz : "";
}

// A misuse of the library is a fault for its developers, never shown to a
// user: the messages stay in the library's own language.
CNullPointerException::CNullPointerException(std::int32_t nDetail)
    : CZrkException(Tolvane::Text::kNullPointer.japanese, nDetail) {}

CIndexOutOfBoundsException::CIndexOutOfBoundsException(std::int32_t nDetail)
    : CZrkException(Tolvane::Text::kIndexOutOfBounds.japanese, nDetail) {}

CInvalidParamException::CInvalidParamException(std::int32_t nDetail)
    : CZrkException(Tolvane::Text::kInvalidParam.japanese, nDetail) {}

CNotSupportException::CNotSupportException(std::int32_t nDetail)
    : CZrkException(Tolvane::Text::kNotSupport.japanese, nDetail) {}

}  // namespace ZRK
