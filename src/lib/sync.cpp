#include "lib/sync.h"

#include "lib/exceptions.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace ZRK {

#ifdef _WIN32

namespace {
static_assert(sizeof(CRITICAL_SECTION) <= 64, "critical section storage too small");
static_assert(alignof(CRITICAL_SECTION) <= alignof(void*), "critical section alignment");
}  // namespace

CSectionSync::CSectionSync() {
    InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_section));
}

CSectionSync::~CSectionSync() {
    DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_section));
}

bool CSectionSync::Lock(std::uint32_t /*nTimeout*/) {
    EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_section));
    return true;
}

void CSectionSync::Unlock() {
    LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_section));
}

#else

CSectionSync::CSectionSync() = default;

CSectionSync::~CSectionSync() = default;

#endif

CLockGuard::CLockGuard(CSyncBase* pSync) : m_pSync(pSync), m_bLocked(false) {
    if (pSync == nullptr) {
        throw CNullPointerException(0);
    }
    // A lock that reports failure is not released again.
    m_bLocked = pSync->Lock(kWaitForever);
}

}  // namespace ZRK
