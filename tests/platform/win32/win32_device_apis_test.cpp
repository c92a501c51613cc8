// The serial, device-list and raw-disk pass-throughs against Wine: counts
// and failures come back as the system reports them, the device list ends
// properly, and the request record the return command builds is the
// system's own SCSI_PASS_THROUGH_DIRECT.
#include <windows.h>
// Must follow windows.h.
#include <ntddscsi.h>
#include <setupapi.h>
#include <winioctl.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "modes/pass_through.h"
#include "platform/win32/win32_device_list_api.h"
#include "platform/win32/win32_raw_disk_api.h"
#include "platform/win32/win32_serial_api.h"

namespace Tolvane::Win32Test {
namespace {

// A file of its own in the temporary folder, removed at the end: a handle
// that opens but is neither a port nor a drive.
struct TempFile {
    TempFile() {
        char folder[MAX_PATH] = {};
        ::GetTempPathA(sizeof folder, folder);
        EXPECT_NE(0u, ::GetTempFileNameA(folder, "tlv", 0, path));
    }
    ~TempFile() { ::DeleteFileA(path); }
    char path[MAX_PATH] = {};
};

TEST(Win32SerialApiTest, CountsMovedAndFailuresComeBackAsTheSystemReportsThem) {
    ZRK::CWin32SerialApi api;
    ::SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, api.CreateFileA("\\\\.\\COM250", GENERIC_READ | GENERIC_WRITE,
                                                    0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_NE(0u, api.GetLastError());

    TempFile file;
    const HANDLE handle = api.CreateFileA(file.path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    const unsigned char command[] = {0x78, 0x81};
    DWORD moved = 99;
    ASSERT_TRUE(api.WriteFile(handle, command, sizeof command, &moved, nullptr));
    EXPECT_EQ(sizeof command, moved);
    ASSERT_EQ(0u, ::SetFilePointer(handle, 0, nullptr, FILE_BEGIN));
    unsigned char reply[5] = {};
    ASSERT_TRUE(api.ReadFile(handle, reply, sizeof reply, &moved, nullptr));
    EXPECT_EQ(sizeof command, moved) << "a short read reports what it got";
    EXPECT_EQ(0, std::memcmp(reply, command, sizeof command));

    // Every line call refuses a handle that is no port.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS timeouts{};
    DWORD value = 0;
    COMSTAT stat{};
    EXPECT_FALSE(api.GetCommState(handle, &dcb));
    EXPECT_FALSE(api.SetCommState(handle, &dcb));
    EXPECT_FALSE(api.GetCommTimeouts(handle, &timeouts));
    EXPECT_FALSE(api.SetCommTimeouts(handle, &timeouts));
    EXPECT_FALSE(api.SetCommMask(handle, EV_RXCHAR));
    EXPECT_FALSE(api.PurgeComm(handle, PURGE_RXCLEAR));
    EXPECT_FALSE(api.ClearCommError(handle, &value, &stat));
    EXPECT_FALSE(api.GetCommModemStatus(handle, &value));
    EXPECT_TRUE(api.CloseHandle(handle));
    EXPECT_FALSE(api.CloseHandle(handle)) << "a handle closes once";
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), api.GetLastError());
}

// The finder's one 200-byte buffer: a property that fits is there with its
// zero; one that does not is refused with the size it needs.
TEST(Win32DeviceListApiTest, PresentDevicesEnumerateToNoMoreItems) {
    ZRK::CWin32DeviceListApi api;
    const HDEVINFO set =
        api.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    bool refused = false;
    SP_DEVINFO_DATA data{sizeof data, {}, 0, 0};
    for (DWORD index = 0; index < 10000 && api.SetupDiEnumDeviceInfo(set, index, &data); ++index) {
        BYTE buffer[200];
        DWORD size = 0;
        if (refused || !api.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, nullptr,
                                                              buffer, sizeof buffer, &size)) {
            continue;
        }
        refused = true;
        EXPECT_NE(nullptr, std::memchr(buffer, 0, size));
        DWORD required = 0;
        EXPECT_FALSE(api.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, nullptr,
                                                           buffer, 1, &required));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), ::GetLastError());
        EXPECT_EQ(size, required);
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), ::GetLastError());
    EXPECT_TRUE(refused) << "no present device with a hardware ID in this Wine prefix";
    EXPECT_TRUE(api.SetupDiDestroyDeviceInfoList(set));
}

TEST(Win32RawDiskApiTest, NoDriveOpensAndAFileRefusesTheRequest) {
    ZRK::CWin32RawDiskApi api;
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    EXPECT_EQ(INVALID_HANDLE_VALUE, api.CreateFileA("\\\\.\\PhysicalDrive99", access, share,
                                                    nullptr, OPEN_EXISTING, 0, nullptr));
    TempFile file;
    const HANDLE handle =
        api.CreateFileA(file.path, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    std::vector<std::uint8_t> record = BuildReturnCommandRecord(PassThroughLayout::Native());
    const auto size = static_cast<DWORD>(record.size());
    DWORD returned = 0;
    EXPECT_FALSE(api.DeviceIoControl(handle, ZRK::kIoctlScsiPassThroughDirect, record.data(), size,
                                     record.data(), size, &returned, nullptr));
    EXPECT_TRUE(api.CloseHandle(handle));
    EXPECT_FALSE(api.CloseHandle(handle));
}

// Byte for byte, padding included: the system's own structure filled as the
// return command needs it, then the zeroed sense area.
TEST(PassThroughRecordTest, ReturnCommandIsTheSystemStructureByteForByte) {
    SCSI_PASS_THROUGH_DIRECT spt{};
    spt.Length = sizeof spt;
    spt.TargetId = 1;
    spt.CdbLength = 16;
    spt.SenseInfoLength = 32;
    spt.DataIn = SCSI_IOCTL_DATA_UNSPECIFIED;
    spt.TimeOutValue = 60;
    spt.SenseInfoOffset = sizeof spt;
    spt.Cdb[0] = 0xFF;
    std::vector<std::uint8_t> expected(sizeof spt + 32, 0);
    std::memcpy(expected.data(), &spt, sizeof spt);
    EXPECT_EQ(expected, BuildReturnCommandRecord(PassThroughLayout::Native()));
}

}  // namespace
}  // namespace Tolvane::Win32Test
