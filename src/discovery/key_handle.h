// A shared handle of one open registry key: copies share one counted record,
// and the last release closes the key. The one shared empty handle holds no
// key and is never counted.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/registry_api.h"
#include "platform/win_types.h"

namespace ZRK {

class CKeyHandle {
public:
    // The empty handle.
    CKeyHandle() noexcept : m_pRecord(EmptyRecord()) {}
    // Takes ownership of an open key (a root such as HKEY_LOCAL_MACHINE is
    // held the same way); a null key gives the empty handle.
    CKeyHandle(CRegistryApi& api, HKEY hKey);
    CKeyHandle(const CKeyHandle& other) noexcept;
    CKeyHandle(CKeyHandle&& other) noexcept : m_pRecord(other.m_pRecord) {
        other.m_pRecord = EmptyRecord();
    }
    ~CKeyHandle() { Release(); }

    CKeyHandle& operator=(const CKeyHandle& other) noexcept;
    CKeyHandle& operator=(CKeyHandle&& other) noexcept;

    // Lets go of the current record and holds hKey in a new one with count 1.
    // Setting the key already held does nothing; a null key leaves the
    // handle empty.
    void Set(CRegistryApi& api, HKEY hKey);
    // Drops this share; the last one closes the key through RegCloseKey.
    void Release() noexcept;

    // Null when empty.
    HKEY GetKey() const noexcept { return m_pRecord->hKey; }
    bool IsEmpty() const noexcept { return m_pRecord->hKey == nullptr; }
    // The registry the key belongs to; null when empty.
    CRegistryApi* GetApi() const noexcept { return m_pRecord->pApi; }
    // Handles sharing the key; 0 when empty.
    std::int32_t GetRefCount() const noexcept {
        return m_pRecord->nCount.load(std::memory_order_relaxed);
    }

private:
    struct SRecord {
        std::atomic<std::int32_t> nCount;
        HKEY hKey;
        CRegistryApi* pApi;
    };

    static SRecord* EmptyRecord() noexcept;

    SRecord* m_pRecord;
};

}  // namespace ZRK
