// Settings read and written through an abstract accessor: named values
// grouped in sections addressed by a path. CRegistryAccessor is the accessor
// over the registry: a section is a key path below a root key.
#pragma once

#include <cstdint>

#include "discovery/key_handle.h"
#include "discovery/registry_value.h"
#include "lib/text_string.h"
#include "platform/registry_api.h"
#include "platform/win_types.h"

namespace ZRK {

// Sections and names are zero-terminated texts; a null section is the empty
// section. No operation throws for a failure of the store: each reports
// through its result.
class CAbstractAccessor {
public:
    virtual ~CAbstractAccessor() = default;

    virtual CTextString GetTypeName() const = 0;
    virtual bool Flush() = 0;
    // Names of the section's sub-sections, in the store's order.
    virtual CTextList EnumSections(const char* pszSection) = 0;
    virtual bool DeleteSection(const char* pszSection) = 0;
    virtual CTextList EnumValueNames(const char* pszSection) = 0;
    // One of the type codes of registry_value.h; 'n' when there is no value.
    virtual std::uint32_t GetValueType(const char* pszSection, const char* pszName) = 0;
    virtual CAccessorValue QueryValue(const char* pszSection, const char* pszName) = 0;
    virtual bool WriteValue(const char* pszSection, const char* pszName,
                            const CAccessorValue& value) = 0;
};

class CAccessorBase : public CAbstractAccessor {
public:
    bool Flush() override { return true; }
};

// One section of an accessor that it does not own.
class CSection {
public:
    // A null accessor throws CNullPointerException.
    CSection(CAbstractAccessor* pAccessor, const char* pszSection);

    CAbstractAccessor* GetAccessor() const noexcept { return m_pAccessor; }
    const CTextString& GetSection() const noexcept { return m_strSection; }
    void SetSection(const CTextString& strSection) { m_strSection = strSection; }

    CAccessorValue QueryValue(const char* pszName) const;
    CTextList EnumSections() const;
    // The value as bytes (CAccessorValue::ToBytes). A value that cannot be
    // read gives no bytes with the validity mark cleared.
    CByteArray ReadBytes(const char* pszName) const;
    // A copy of the default (empty when null) when the value cannot be read;
    // otherwise the value's ToText.
    CTextString ReadText(const char* pszName, const char* pszDefault = nullptr) const;

private:
    CAbstractAccessor* m_pAccessor;
    CTextString m_strSection;
};

class CRegistryAccessor : public CAccessorBase {
public:
    // Name bytes given to RegEnumKeyExA / RegEnumValueA: room for 1024 and
    // the zero; the size passed is 1024, so the longest name listed is 1023
    // characters, and a longer one fails the enumeration.
    static constexpr DWORD kNameSize = 1024;

    // The root handle is shared, not copied. The rights are passed to every
    // open and create.
    CRegistryAccessor(CRegistryApi& api, const CKeyHandle& hRootKey, REGSAM samAccess);
    // Holds hRootKey in a new handle, which closes it on its last release.
    CRegistryAccessor(CRegistryApi& api, HKEY hRootKey, REGSAM samAccess);
    CRegistryAccessor(const CRegistryAccessor&) = delete;
    CRegistryAccessor& operator=(const CRegistryAccessor&) = delete;
    ~CRegistryAccessor() override = default;

    // Selects the section and opens its key, or creates it when it cannot
    // be opened; the handle is empty when neither works. The handle stays
    // usable after this accessor is gone.
    CKeyHandle& GetSectionKey(const char* pszSection);

    CTextString GetTypeName() const override;
    // RegFlushKey on the open section key; false when none is open.
    bool Flush() override;
    CTextList EnumSections(const char* pszSection) override;
    // Deletes the key of the section with all its sub-keys; the final
    // Windows error code goes to SetLastError.
    bool DeleteSection(const char* pszSection) override;
    CTextList EnumValueNames(const char* pszSection) override;
    std::uint32_t GetValueType(const char* pszSection, const char* pszName) override;
    CAccessorValue QueryValue(const char* pszSection, const char* pszName) override;
    bool WriteValue(const char* pszSection, const char* pszName,
                    const CAccessorValue& value) override;

    REGSAM GetAccess() const noexcept { return m_samAccess; }
    const CKeyHandle& GetRootKey() const noexcept { return m_hRootKey; }
    const CTextString& GetCurrentSection() const noexcept { return m_strSection; }
    // The open key of the current section; empty when none is open.
    const CKeyHandle& GetCurrentSectionKey() const noexcept { return m_hSectionKey; }
    // How the last attempt to open a section's key ended: 0, the registry's
    // error code (2 for a key that does not exist, 5 for one the rights do
    // not reach), or ERROR_INVALID_HANDLE when there was no root to open it
    // on or no attempt yet. Results say no more than "empty"; this tells why.
    LONG GetLastOpenResult() const noexcept { return m_lLastOpen; }

private:
    void SelectSection(const char* pszSection);
    bool OpenSectionKey();
    bool OpenOrCreateSectionKey();
    // Lists the sub-keys (bValues false) or value names of an open key.
    CTextList EnumNames(HKEY hKey, bool bValues);
    // Raw data of a value of the current section whose registry type is one
    // of the two given; *pdwFound receives the type that was found.
    CByteArray ReadRaw(const char* pszName, DWORD dwAccept1, DWORD dwAccept2, DWORD* pdwFound);
    CTextString ExpandText(const CTextString& strText);
    LONG DeleteKeyTree(HKEY hParent, const char* pszName);

    CRegistryApi& m_api;
    REGSAM m_samAccess;
    CKeyHandle m_hRootKey;
    CTextString m_strSection;
    CKeyHandle m_hSectionKey;
    LONG m_lLastOpen = ERROR_INVALID_HANDLE;
};

}  // namespace ZRK
