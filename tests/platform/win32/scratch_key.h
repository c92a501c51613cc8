// Registry helpers of the Wine tests, which leave the prefix's registry as
// they found it: a key of its own under HKEY_CURRENT_USER for each test, and
// the machine's COM-port database kept and put back.
#pragma once

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

namespace Tolvane::Win32Test {

// A key unique per process and test, created empty, and removed with
// everything below it at the end.
class ScratchKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        static unsigned serial = 0;
        path_ = "Software\\TolvaneTest-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(::GetTickCount()) + "-" + std::to_string(++serial);
        DWORD disposition = 0;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr,
                                                   REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                                   &key_, &disposition));
        ASSERT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition)
            << "scratch key " << path_ << " already existed";
    }

    void TearDown() override {
        if (key_ != nullptr) {
            ::RegCloseKey(key_);
        }
        // Cleaned up with the system's own recursive delete, independent of
        // the code under test.
        ::RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        HKEY gone = nullptr;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND,
                  ::RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &gone))
            << "scratch key " << path_ << " was left behind";
    }

    // The scratch key's path below HKEY_CURRENT_USER, and the key itself,
    // open with full access.
    const std::string& Path() const { return path_; }
    HKEY Key() const { return key_; }

private:
    std::string path_;
    HKEY key_ = nullptr;
};

// The COM-port database of the prefix's machine key as a test found it
// (whether "COM Name Arbiter" existed, and its "ComDB"), put back when the
// test ends, whatever the test did to it.
class CSavedComDatabase {
public:
    static constexpr char kKey[] = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";

    CSavedComDatabase() {
        HKEY key = nullptr;
        m_hadKey = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (m_hadKey) {
            m_hadValue = ::RegQueryValueExA(key, "ComDB", nullptr, &m_type, m_data, &m_size) ==
                         ERROR_SUCCESS;
            ::RegCloseKey(key);
        }
    }
    ~CSavedComDatabase() {
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKey);
        if (m_hadKey) {
            Set(m_hadValue, m_type, m_data, m_size);
        }
    }
    CSavedComDatabase(const CSavedComDatabase&) = delete;
    CSavedComDatabase& operator=(const CSavedComDatabase&) = delete;

    // Creates the key, with ComDB when withValue.
    static void Set(bool withValue, DWORD type, const BYTE* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, &key, nullptr));
        if (withValue) {
            EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key, "ComDB", 0, type, data, size));
        }
        ::RegCloseKey(key);
    }

private:
    bool m_hadKey = false;
    bool m_hadValue = false;
    DWORD m_type = REG_NONE;
    BYTE m_data[256] = {};
    DWORD m_size = sizeof m_data;
};

}  // namespace Tolvane::Win32Test
