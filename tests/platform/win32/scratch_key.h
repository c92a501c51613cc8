// A registry key of its own under HKEY_CURRENT_USER for each test: unique per
// process and test, created empty, and removed with everything below it at
// the end, so that a run leaves Wine's registry as it found it.
#pragma once

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

namespace Tolvane::Win32Test {

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

}  // namespace Tolvane::Win32Test
