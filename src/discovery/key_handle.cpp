#include "discovery/key_handle.h"

#include <utility>

namespace ZRK {

CKeyHandle::SRecord* CKeyHandle::EmptyRecord() noexcept {
    // Read only: every operation tests for it by address before touching
    // the count.
    static SRecord empty{{0}, nullptr, nullptr};
    return &empty;
}

CKeyHandle::CKeyHandle(CRegistryApi& api, HKEY hKey) : m_pRecord(EmptyRecord()) {
    Set(api, hKey);
}

CKeyHandle::CKeyHandle(const CKeyHandle& other) noexcept : m_pRecord(other.m_pRecord) {
    if (m_pRecord != EmptyRecord()) {
        m_pRecord->nCount.fetch_add(1, std::memory_order_acq_rel);
    }
}

CKeyHandle& CKeyHandle::operator=(const CKeyHandle& other) noexcept {
    if (m_pRecord != other.m_pRecord) {
        // Take the new share before dropping the old one: releasing ours can
        // then never free the record we are about to share.
        SRecord* pRecord = other.m_pRecord;
        if (pRecord != EmptyRecord()) {
            pRecord->nCount.fetch_add(1, std::memory_order_acq_rel);
        }
        Release();
        m_pRecord = pRecord;
    }
    return *this;
}

CKeyHandle& CKeyHandle::operator=(CKeyHandle&& other) noexcept {
    if (this != &other) {
        Release();
        m_pRecord = std::exchange(other.m_pRecord, EmptyRecord());
    }
    return *this;
}

void CKeyHandle::Set(CRegistryApi& api, HKEY hKey) {
    if (hKey != nullptr && hKey == m_pRecord->hKey) {
        return;
    }
    Release();
    if (hKey == nullptr) {
        return;
    }
    SRecord* pRecord;
    try {
        pRecord = new SRecord{{1}, hKey, &api};
    } catch (...) {
        // The key was handed over to us: it must not leak.
        api.RegCloseKey(hKey);
        throw;
    }
    m_pRecord = pRecord;
}

void CKeyHandle::Release() noexcept {
    SRecord* pRecord = std::exchange(m_pRecord, EmptyRecord());
    if (pRecord == EmptyRecord()) {
        return;
    }
    if (pRecord->nCount.fetch_sub(1, std::memory_order_acq_rel) - 1 <= 0) {
        pRecord->pApi->RegCloseKey(pRecord->hKey);
        delete pRecord;
    }
}

}  // namespace ZRK
