#include "discovery/registry_value.h"

#include <cerrno>
#include <cstdlib>

#include "lib/hex.h"

namespace ZRK {

std::uint32_t TypeCodeOfRegistryType(DWORD dwRegType) noexcept {
    switch (dwRegType) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return kValueText;
        case REG_BINARY:
            return kValueBytes;
        case REG_DWORD:
            return kValueDword;
        case REG_MULTI_SZ:
            return kValueTextList;
        case REG_QWORD:
            return kValueInt64;
        default:
            return kValueNone;
    }
}

CTextString JoinTextList(const CReadCollection<CTextString>& list) {
    CLockGuard guard(const_cast<CReadCollection<CTextString>*>(&list));
    CTextString joined;
    const std::uint32_t nSize = list.GetSize();
    for (std::uint32_t i = 0; i < nSize; ++i) {
        if (i != 0) {
            joined += "\\^";
        }
        for (const char* p = list.At(i).GetString(); *p != '\0'; ++p) {
            if (*p == '\\') {
                joined += '\\';
            }
            joined += *p;
        }
    }
    return joined;
}

CTextList SplitTextList(const char* pszJoined) {
    CTextList list;
    if (pszJoined == nullptr || *pszJoined == '\0') {
        return list;
    }
    CTextString current;
    for (const char* p = pszJoined; *p != '\0'; ++p) {
        if (*p == '\\' && p[1] == '\\') {
            current += '\\';
            ++p;
        } else if (*p == '\\' && p[1] == '^') {
            list.Add(current);
            current.Empty();
            ++p;
        } else {
            current += *p;
        }
    }
    list.Add(current);
    return list;
}

void CAccessorValue::SetNone() {
    *this = CAccessorValue();
}

void CAccessorValue::SetText(const char* psz, std::uint32_t nType) {
    SetNone();
    m_nType = nType;
    m_strText = psz;
}

void CAccessorValue::SetBytes(const CByteArray& bytes) {
    SetNone();
    m_nType = kValueBytes;
    m_aBytes = bytes;
}

void CAccessorValue::SetDword(std::uint32_t n) {
    SetNone();
    m_nType = kValueDword;
    m_nNumber = n;
}

void CAccessorValue::SetInt64(std::int64_t n) {
    SetNone();
    m_nType = kValueInt64;
    m_nNumber = n;
}

void CAccessorValue::SetTextList(const CReadCollection<CTextString>& list) {
    SetNone();
    m_nType = kValueTextList;
    m_strText = JoinTextList(list);
}

CTextString CAccessorValue::ToText() const {
    switch (m_nType) {
        case kValueBytes:
            return ToHex(m_aBytes);
        case kValueDword:
            return CTextString::Format("%u", static_cast<unsigned>(m_nNumber & 0xFFFFFFFFu));
        case kValueInt64:
            return CTextString::Format("%I64d", m_nNumber);
        case kValueText:
        case kValueTextList:
            return m_strText;
        default:
            return CTextString();
    }
}

CByteArray CAccessorValue::ToBytes() const {
    if (m_nType == kValueBytes) {
        return m_aBytes;
    }
    return CByteArray(FromHex(ToText()));
}

std::int64_t CAccessorValue::ToInteger() const {
    if (m_nType == kValueDword || m_nType == kValueInt64) {
        return m_nNumber;
    }
    // strtoll saturates on overflow, as the runtime's 64-bit atoi does.
    const int nSavedErrno = errno;
    const long long n = std::strtoll(m_strText.GetString(), nullptr, 10);
    errno = nSavedErrno;
    return n;
}

CTextList CAccessorValue::ToTextList() const {
    return m_nType == kValueTextList ? SplitTextList(m_strText) : CTextList();
}

}  // namespace ZRK
