// The library's exceptions for misuse: thrown by value, caught by reference
// to CZrkException. Each carries a private, shared copy of its message.
#pragma once

#include <cstdint>

#include "lib/text_string.h"

namespace ZRK {

class CZrkException {
public:
    // A null text gives the message "".
    explicit CZrkException(const char* pszText, std::int32_t nDetail = 0);
    CZrkException(const CZrkException& other) noexcept = default;
    CZrkException& operator=(const CZrkException& other) noexcept = default;
    // Not virtual: exceptions are thrown and destroyed by value only.
    ~CZrkException() = default;

    // The message characters; never null.
    virtual const char* GetMessageText() const noexcept;
    std::int32_t GetDetail() const noexcept { return m_nDetail; }

private:
    CRefHandle<char[]> m_message;
    std::int32_t m_nDetail;
};

// "NULLポインタです。": an operation was given a null object.
class CNullPointerException final : public CZrkException {
public:
    explicit CNullPointerException(std::int32_t nDetail = 0);
};

// "INDEXが範囲外です。": an index not below the element count.
class CIndexOutOfBoundsException final : public CZrkException {
public:
    explicit CIndexOutOfBoundsException(std::int32_t nDetail = 0);
};

// "パラメータが不正です。": e.g. a serialized array whose two counts differ.
class CInvalidParamException final : public CZrkException {
public:
    explicit CInvalidParamException(std::int32_t nDetail = 0);
};

// "サポートされていません。": an operation the object does not offer.
class CNotSupportException final : public CZrkException {
public:
    explicit CNotSupportException(std::int32_t nDetail = 0);
};

}  // namespace ZRK
