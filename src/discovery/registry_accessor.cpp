#include "discovery/registry_accessor.h"

#include <vector>

#include "lib/exceptions.h"
#include "lib/nls.h"

namespace ZRK {
namespace {

// Larger data is refused as a failed read: a size like this from the
// registry is garbage, and believing it would only end in a failed
// allocation.
constexpr DWORD kMaxValueBytes = 64u * 1024u * 1024u;

// The name buffer of one level of DeleteSection: registry key names are at
// most 255 characters.
constexpr DWORD kDeleteNameSize = 256;

// Text of raw data up to its first zero byte, never past its size, so that a
// string stored without its terminating zero is read safely.
CTextString TextFromBytes(const BYTE* pBytes, std::uint32_t nSize) {
    std::uint32_t nLength = 0;
    while (nLength < nSize && pBytes[nLength] != 0) {
        ++nLength;
    }
    CTextString text;
    if (nLength == 0) {
        return text;
    }
    char* pBuffer = text.GetWritableBuffer(nLength + 1);
    for (std::uint32_t i = 0; i < nLength; ++i) {
        pBuffer[i] = static_cast<char>(pBytes[i]);
    }
    pBuffer[nLength] = '\0';
    text.RecalcLength();
    return text;
}

// REG_MULTI_SZ data: texts split at each zero byte, ending at the first empty
// text or at the end of the data; a last text without its zero (an odd or
// truncated size) is taken up to the end.
CTextList SplitMultiString(const CByteArray& data) {
    CTextList list;
    const std::uint32_t nSize = data.GetSize();
    const BYTE* pBytes = data.GetBuffer();
    std::uint32_t i = 0;
    while (i < nSize) {
        const std::uint32_t nStart = i;
        while (i < nSize && pBytes[i] != 0) {
            ++i;
        }
        if (i == nStart) {
            break;
        }
        list.Add(TextFromBytes(pBytes + nStart, i - nStart));
        ++i;
    }
    return list;
}

std::uint64_t LittleEndian(const BYTE* pBytes, int nCount) {
    std::uint64_t n = 0;
    for (int i = nCount - 1; i >= 0; --i) {
        n = (n << 8) | pBytes[i];
    }
    return n;
}

CTextList FailedList() {
    CTextList list;
    list.Invalidate();
    return list;
}

}  // namespace

// --- CSection ------------------------------------------------------------

CSection::CSection(CAbstractAccessor* pAccessor, const char* pszSection)
    : m_pAccessor(pAccessor), m_strSection(pszSection) {
    if (pAccessor == nullptr) {
        throw CNullPointerException(0);
    }
}

CAccessorValue CSection::QueryValue(const char* pszName) const {
    return m_pAccessor->QueryValue(m_strSection, pszName);
}

CTextList CSection::EnumSections() const {
    return m_pAccessor->EnumSections(m_strSection);
}

CByteArray CSection::ReadBytes(const char* pszName) const {
    const CAccessorValue value = QueryValue(pszName);
    if (value.GetType() == kValueNone) {
        CByteArray failed;
        failed.Invalidate();
        return failed;
    }
    return value.ToBytes();
}

CTextString CSection::ReadText(const char* pszName, const char* pszDefault) const {
    const CAccessorValue value = QueryValue(pszName);
    if (value.GetType() == kValueNone) {
        return CTextString(pszDefault);
    }
    return value.ToText();
}

// --- CRegistryAccessor ---------------------------------------------------

CRegistryAccessor::CRegistryAccessor(CRegistryApi& api, const CKeyHandle& hRootKey,
                                     REGSAM samAccess)
    : m_api(api), m_samAccess(samAccess), m_hRootKey(hRootKey) {}

CRegistryAccessor::CRegistryAccessor(CRegistryApi& api, HKEY hRootKey, REGSAM samAccess)
    : m_api(api), m_samAccess(samAccess), m_hRootKey(api, hRootKey) {}

CTextString CRegistryAccessor::GetTypeName() const {
    return CTextString("Registry");
}

void CRegistryAccessor::SelectSection(const char* pszSection) {
    const char* pszNew = pszSection != nullptr ? pszSection : "";
    // Case-sensitive: the same path in other letter case is another section
    // and gets its own key.
    if (CompareLocale(m_strSection, pszNew) != 0) {
        m_hSectionKey.Release();
        m_strSection = pszNew;
    }
}

bool CRegistryAccessor::OpenSectionKey() {
    if (!m_hSectionKey.IsEmpty()) {
        return true;
    }
    // A root that could not be had (the empty handle of a failed
    // GetSectionKey) is not handed to the registry.
    if (m_hRootKey.IsEmpty()) {
        m_lLastOpen = ERROR_INVALID_HANDLE;
        return false;
    }
    HKEY hKey = nullptr;
    m_lLastOpen = m_api.RegOpenKeyExA(m_hRootKey.GetKey(), m_strSection, 0, m_samAccess, &hKey);
    if (m_lLastOpen != ERROR_SUCCESS || hKey == nullptr) {
        return false;
    }
    m_hSectionKey.Set(m_api, hKey);
    return true;
}

bool CRegistryAccessor::OpenOrCreateSectionKey() {
    if (OpenSectionKey()) {
        return true;
    }
    if (m_hRootKey.IsEmpty()) {
        return false;
    }
    HKEY hKey = nullptr;
    DWORD dwDisposition = 0;
    if (m_api.RegCreateKeyExA(m_hRootKey.GetKey(), m_strSection, 0, nullptr,
                              REG_OPTION_NON_VOLATILE, m_samAccess, nullptr, &hKey,
                              &dwDisposition) != ERROR_SUCCESS ||
        hKey == nullptr) {
        return false;
    }
    m_hSectionKey.Set(m_api, hKey);
    return true;
}

CKeyHandle& CRegistryAccessor::GetSectionKey(const char* pszSection) {
    SelectSection(pszSection);
    OpenOrCreateSectionKey();
    return m_hSectionKey;
}

bool CRegistryAccessor::Flush() {
    if (m_hSectionKey.IsEmpty()) {
        return false;
    }
    return m_api.RegFlushKey(m_hSectionKey.GetKey()) == ERROR_SUCCESS;
}

CTextList CRegistryAccessor::EnumNames(HKEY hKey, bool bValues) {
    CTextList names;
    char szName[kNameSize + 1];
    for (DWORD i = 0;; ++i) {
        // A registry that never ends its listing gets no endless loop.
        if (i == 0xFFFFFFFFu) {
            names.Invalidate();
            break;
        }
        DWORD dwSize = kNameSize;
        LONG r;
        if (bValues) {
            r = m_api.RegEnumValueA(hKey, i, szName, &dwSize, nullptr, nullptr, nullptr, nullptr);
        } else {
            FILETIME lastWrite{0, 0};
            r = m_api.RegEnumKeyExA(hKey, i, szName, &dwSize, nullptr, nullptr, nullptr,
                                    &lastWrite);
        }
        if (r == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (r != ERROR_SUCCESS) {
            names.Invalidate();
            break;
        }
        szName[dwSize < kNameSize ? dwSize : kNameSize] = '\0';
        names.Add(CTextString(szName));
    }
    return names;
}

CTextList CRegistryAccessor::EnumSections(const char* pszSection) {
    if (pszSection == nullptr || *pszSection == '\0') {
        if (m_hRootKey.IsEmpty()) {
            return FailedList();
        }
        return EnumNames(m_hRootKey.GetKey(), false);
    }
    SelectSection(pszSection);
    // A key that cannot be opened is a failed listing, not an empty one.
    if (!OpenSectionKey()) {
        return FailedList();
    }
    return EnumNames(m_hSectionKey.GetKey(), false);
}

CTextList CRegistryAccessor::EnumValueNames(const char* pszSection) {
    SelectSection(pszSection);
    if (!OpenSectionKey()) {
        return FailedList();
    }
    return EnumNames(m_hSectionKey.GetKey(), true);
}

std::uint32_t CRegistryAccessor::GetValueType(const char* pszSection, const char* pszName) {
    SelectSection(pszSection);
    if (!OpenSectionKey()) {
        return kValueNone;
    }
    DWORD dwType = REG_NONE;
    DWORD dwSize = 0;
    if (m_api.RegQueryValueExA(m_hSectionKey.GetKey(), pszName, nullptr, &dwType, nullptr,
                               &dwSize) != ERROR_SUCCESS) {
        return kValueNone;
    }
    return TypeCodeOfRegistryType(dwType);
}

CByteArray CRegistryAccessor::ReadRaw(const char* pszName, DWORD dwAccept1, DWORD dwAccept2,
                                      DWORD* pdwFound) {
    CByteArray data;
    *pdwFound = REG_NONE;
    if (!OpenSectionKey()) {
        data.Invalidate();
        return data;
    }
    const HKEY hKey = m_hSectionKey.GetKey();
    DWORD dwType = REG_NONE;
    DWORD dwSize = 0;
    if (m_api.RegQueryValueExA(hKey, pszName, nullptr, &dwType, nullptr, &dwSize) !=
            ERROR_SUCCESS ||
        (dwType != dwAccept1 && dwType != dwAccept2) || dwSize > kMaxValueBytes) {
        data.Invalidate();
        return data;
    }
    *pdwFound = dwType;
    if (dwSize == 0) {
        return data;
    }
    data.SetSize(dwSize);
    DWORD dwRead = dwSize;
    DWORD dwReadType = REG_NONE;
    // The value may have changed since its size was asked: only what this
    // call reports is taken, and only when it is still of an accepted type.
    if (m_api.RegQueryValueExA(hKey, pszName, nullptr, &dwReadType, &data.Ref(0), &dwRead) !=
            ERROR_SUCCESS ||
        (dwReadType != dwAccept1 && dwReadType != dwAccept2) || dwRead > dwSize) {
        *pdwFound = REG_NONE;
        data.Invalidate();
        return data;
    }
    *pdwFound = dwReadType;
    if (dwRead < dwSize) {
        data.SetSize(dwRead);
    }
    return data;
}

CTextString CRegistryAccessor::ExpandText(const CTextString& strText) {
    const DWORD n = m_api.ExpandEnvironmentStringsA(strText, nullptr, 0);
    if (n == 0 || n > kMaxValueBytes) {
        return strText;
    }
    std::vector<char> buffer(static_cast<std::size_t>(n) + 1, '\0');
    const DWORD r = m_api.ExpandEnvironmentStringsA(strText, buffer.data(), n + 1);
    // A result that did not fit (the environment changed in between) leaves
    // the buffer undefined: keep the text as stored.
    if (r == 0 || r > n + 1) {
        return strText;
    }
    buffer[n] = '\0';
    if (buffer[0] == '\0') {
        return strText;
    }
    return CTextString(buffer.data());
}

CAccessorValue CRegistryAccessor::QueryValue(const char* pszSection, const char* pszName) {
    CAccessorValue value;
    const std::uint32_t nType = GetValueType(pszSection, pszName);
    DWORD dwFound = REG_NONE;
    switch (nType) {
        case kValueBytes: {
            const CByteArray raw = ReadRaw(pszName, REG_BINARY, REG_BINARY, &dwFound);
            if (raw.IsUsable()) {
                value.SetBytes(raw);
            }
            break;
        }
        case kValueDword: {
            // Data shorter than the number is no number: the value stays 'n'.
            const CByteArray raw = ReadRaw(pszName, REG_DWORD, REG_DWORD, &dwFound);
            if (raw.IsUsable() && raw.GetSize() >= 4) {
                value.SetDword(static_cast<std::uint32_t>(LittleEndian(raw.GetBuffer(), 4)));
            }
            break;
        }
        case kValueInt64: {
            const CByteArray raw = ReadRaw(pszName, REG_QWORD, REG_QWORD, &dwFound);
            if (raw.IsUsable() && raw.GetSize() >= 8) {
                value.SetInt64(static_cast<std::int64_t>(LittleEndian(raw.GetBuffer(), 8)));
            }
            break;
        }
        case kValueTextList: {
            const CByteArray raw = ReadRaw(pszName, REG_MULTI_SZ, REG_MULTI_SZ, &dwFound);
            if (raw.IsUsable()) {
                value.SetTextList(SplitMultiString(raw));
            }
            break;
        }
        case kValueText: {
            const CByteArray raw = ReadRaw(pszName, REG_SZ, REG_EXPAND_SZ, &dwFound);
            if (raw.IsUsable()) {
                CTextString text = TextFromBytes(raw.GetBuffer(), raw.GetSize());
                if (dwFound == REG_EXPAND_SZ) {
                    text = ExpandText(text);
                }
                value.SetText(text);
            }
            break;
        }
        default:
            break;
    }
    return value;
}

bool CRegistryAccessor::WriteValue(const char* pszSection, const char* pszName,
                                   const CAccessorValue& value) {
    SelectSection(pszSection);
    DWORD dwRegType = REG_NONE;
    std::vector<BYTE> data;
    switch (value.GetType()) {
        case kValueNone:
            if (!OpenSectionKey()) {
                return false;
            }
            return m_api.RegDeleteValueA(m_hSectionKey.GetKey(), pszName) == ERROR_SUCCESS;
        case kValueBytes: {
            const CByteArray bytes = value.ToBytes();
            dwRegType = REG_BINARY;
            data.assign(bytes.GetBuffer(), bytes.GetBuffer() + bytes.GetSize());
            break;
        }
        case kValueDword:
        case kValueInt64: {
            const auto n = static_cast<std::uint64_t>(value.ToInteger());
            const int nBytes = value.GetType() == kValueDword ? 4 : 8;
            dwRegType = value.GetType() == kValueDword ? REG_DWORD : REG_QWORD;
            for (int i = 0; i < nBytes; ++i) {
                data.push_back(static_cast<BYTE>(n >> (8 * i)));
            }
            break;
        }
        case kValueText: {
            const CTextString text = value.ToText();
            dwRegType = REG_SZ;
            data.assign(text.GetString(), text.GetString() + text.GetLength() + 1);
            break;
        }
        case kValueTextList: {
            // Every non-empty text with its zero, then the zero that ends
            // the list.
            const CTextList list = SplitTextList(value.ToText());
            dwRegType = REG_MULTI_SZ;
            for (std::uint32_t i = 0; i < list.GetSize(); ++i) {
                const CTextString& text = list.At(i);
                if (!text.IsEmpty()) {
                    data.insert(data.end(), text.GetString(),
                                text.GetString() + text.GetLength() + 1);
                }
            }
            data.push_back(0);
            break;
        }
        default:
            return false;
    }
    if (!OpenOrCreateSectionKey()) {
        return false;
    }
    return m_api.RegSetValueExA(m_hSectionKey.GetKey(), pszName, 0, dwRegType,
                                data.empty() ? nullptr : data.data(),
                                static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

// Deletes a key with all its sub-keys, depth first, on an explicit stack
// rather than by recursion: the registry walked here may be a test double
// or a hostile tree of any depth.
LONG CRegistryAccessor::DeleteKeyTree(HKEY hParent, const char* pszName) {
    struct SLevel {
        HKEY hParent;
        CTextString strName;
        HKEY hOpened;
    };
    std::vector<SLevel> levels;
    auto enter = [this, &levels](HKEY hLevelParent, const char* pszLevelName) -> LONG {
        if (pszLevelName == nullptr || *pszLevelName == '\0') {
            return ERROR_BADKEY;
        }
        if (hLevelParent == nullptr) {
            return ERROR_INVALID_HANDLE;
        }
        HKEY hOpened = nullptr;
        const LONG r = m_api.RegOpenKeyExA(hLevelParent, pszLevelName, 0,
                                           DELETE | KEY_ENUMERATE_SUB_KEYS, &hOpened);
        if (r != ERROR_SUCCESS) {
            return r;
        }
        levels.push_back(SLevel{hLevelParent, CTextString(pszLevelName), hOpened});
        return ERROR_SUCCESS;
    };

    LONG result = enter(hParent, pszName);
    while (result == ERROR_SUCCESS && !levels.empty()) {
        const HKEY hOpened = levels.back().hOpened;
        char szSubKey[kDeleteNameSize];
        DWORD dwSize = kDeleteNameSize;
        const LONG r =
            m_api.RegEnumKeyExA(hOpened, 0, szSubKey, &dwSize, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) {
            // Leaf reached: close it, delete it through its parent, and let
            // the parent level list its next first sub-key.
            SLevel level = levels.back();
            levels.pop_back();
            m_api.RegCloseKey(level.hOpened);
            result = m_api.RegDeleteKeyA(level.hParent, level.strName);
            continue;
        }
        if (r != ERROR_SUCCESS) {
            result = r;
            break;
        }
        szSubKey[dwSize < kDeleteNameSize ? dwSize : kDeleteNameSize - 1] = '\0';
        result = enter(hOpened, szSubKey);
    }
    // Whatever stopped the walk, every key still open is closed, deepest
    // first.
    while (!levels.empty()) {
        m_api.RegCloseKey(levels.back().hOpened);
        levels.pop_back();
    }
    return result;
}

bool CRegistryAccessor::DeleteSection(const char* pszSection) {
    m_hSectionKey.Release();
    const LONG result = DeleteKeyTree(m_hRootKey.GetKey(), pszSection);
    m_api.SetLastError(static_cast<DWORD>(result));
    return result == ERROR_SUCCESS;
}

}  // namespace ZRK
