// Lock interface, the recursive critical-section lock and the scoped holder.
#pragma once

#include <cstdint>

#ifndef _WIN32
#include <mutex>
#endif

namespace ZRK {

// Timeout value that waits without limit.
constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

class CSyncBase {
public:
    virtual ~CSyncBase() = default;
    // True when the lock is held; timeout in milliseconds.
    virtual bool Lock(std::uint32_t nTimeout = kWaitForever) = 0;
    virtual void Unlock() = 0;
};

// Recursive: the holding thread may lock again and must unlock as often.
// The timeout is not used; Lock waits until the lock is free.
class CSectionSync : public CSyncBase {
public:
    CSectionSync();
    ~CSectionSync() override;
    CSectionSync(const CSectionSync&) = delete;
    CSectionSync& operator=(const CSectionSync&) = delete;

#ifdef _WIN32
    bool Lock(std::uint32_t nTimeout = kWaitForever) override;
    void Unlock() override;
#else
    // Inline: the arrays take a buffer's lock on every append.
    bool Lock(std::uint32_t /*nTimeout*/ = kWaitForever) override {
        m_mutex.lock();
        return true;
    }
    void Unlock() override {
        m_mutex.unlock();
    }
#endif

private:
#ifdef _WIN32
    // Holds a CRITICAL_SECTION; the size is checked where <windows.h> is
    // seen, so that this header does not need it.
    alignas(void*) unsigned char m_section[64];
#else
    std::recursive_mutex m_mutex;
#endif
};

// Keeps an object locked for its lifetime. A null object throws
// CNullPointerException before anything is locked.
class CLockGuard {
public:
    explicit CLockGuard(CSyncBase* pSync);
    explicit CLockGuard(CSyncBase& sync) : CLockGuard(&sync) {}
    ~CLockGuard() {
        if (m_bLocked) {
            m_pSync->Unlock();
        }
    }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;

private:
    CSyncBase* m_pSync;
    bool m_bLocked;
};

}  // namespace ZRK
