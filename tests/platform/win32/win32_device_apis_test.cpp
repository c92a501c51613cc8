// The serial, device-list and raw-disk pass-throughs against Wine: failures
// come back as the system's error codes, the device list enumerates and
// ends properly, and the request record the return command builds is the
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
#include "platform/win32/pass_through_layout.h"
#include "platform/win32/win32_device_list_api.h"
#include "platform/win32/win32_raw_disk_api.h"
#include "platform/win32/win32_serial_api.h"

namespace Tolvane::Win32Test {
namespace {

// A file of its own in the temporary folder, removed at the end.
class TempFile {
public:
    TempFile() {
        char folder[MAX_PATH] = {};
        char name[MAX_PATH] = {};
        EXPECT_GT(::GetTempPathA(sizeof folder, folder), 0u);
        EXPECT_NE(0u, ::GetTempFileNameA(folder, "tlv", 0, name));
        path_ = name;
    }
    ~TempFile() { ::DeleteFileA(path_.c_str()); }
    const char* Path() const { return path_.c_str(); }

private:
    std::string path_;
};

// Serial ----------------------------------------------------------------

TEST(Win32SerialApiTest, OpeningAPortThatDoesNotExistGivesTheWindowsError) {
    ZRK::CWin32SerialApi api;
    for (const char* path : {"\\\\.\\COM250", "\\\\.\\COM0", "\\\\.\\COM65535"}) {
        SCOPED_TRACE(path);
        ::SetLastError(0);
        const HANDLE port = api.CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = api.GetLastError();
        EXPECT_EQ(INVALID_HANDLE_VALUE, port);
        EXPECT_NE(0u, error);
        EXPECT_EQ(::GetLastError(), error);
    }
}

TEST(Win32SerialApiTest, LineCallsOnAFileThatIsNoPortFail) {
    TempFile file;
    ZRK::CWin32SerialApi api;
    const HANDLE handle = api.CreateFileA(file.Path(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ::SetLastError(0);
    EXPECT_FALSE(api.GetCommState(handle, &dcb));
    EXPECT_NE(0u, api.GetLastError());
    COMMTIMEOUTS timeouts{};
    ::SetLastError(0);
    EXPECT_FALSE(api.GetCommTimeouts(handle, &timeouts));
    EXPECT_NE(0u, api.GetLastError());
    DWORD status = 0;
    EXPECT_FALSE(api.GetCommModemStatus(handle, &status));
    EXPECT_TRUE(api.CloseHandle(handle));
}

TEST(Win32SerialApiTest, ReadAndWriteReportTheCountsMoved) {
    TempFile file;
    ZRK::CWin32SerialApi api;
    const HANDLE handle = api.CreateFileA(file.Path(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);

    const unsigned char command[] = {0x78, 0x81};
    DWORD written = 99;
    ASSERT_TRUE(api.WriteFile(handle, command, sizeof command, &written, nullptr));
    EXPECT_EQ(sizeof command, written);

    ASSERT_EQ(0u, ::SetFilePointer(handle, 0, nullptr, FILE_BEGIN));
    unsigned char reply[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    DWORD read = 99;
    ASSERT_TRUE(api.ReadFile(handle, reply, sizeof reply, &read, nullptr));
    EXPECT_EQ(sizeof command, read) << "a short read reports what it got";
    EXPECT_EQ(0, std::memcmp(reply, command, sizeof command));
    EXPECT_EQ(0xEE, reply[2]);

    read = 99;
    ASSERT_TRUE(api.ReadFile(handle, reply, sizeof reply, &read, nullptr));
    EXPECT_EQ(0u, read) << "nothing left";

    EXPECT_TRUE(api.CloseHandle(handle));
    ::SetLastError(0);
    EXPECT_FALSE(api.CloseHandle(handle)) << "a handle closes once";
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), api.GetLastError());
}

// Device list -----------------------------------------------------------

TEST(Win32DeviceListApiTest, PresentDevicesEnumerateToNoMoreItems) {
    ZRK::CWin32DeviceListApi api;
    const HDEVINFO set =
        api.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);

    DWORD index = 0;
    DWORD withDriver = 0;
    for (; index < 10000; ++index) {
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        if (!api.SetupDiEnumDeviceInfo(set, index, &data)) {
            break;
        }
        // The finder's one shared 200-byte buffer: success means the
        // property fits, with its zero, inside the size reported.
        BYTE buffer[200];
        std::memset(buffer, 0xEE, sizeof buffer);
        DWORD required = 0;
        if (api.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DRIVER, nullptr, buffer,
                                                  sizeof buffer, &required)) {
            ++withDriver;
            EXPECT_LE(required, sizeof buffer);
            EXPECT_NE(nullptr, std::memchr(buffer, 0, required)) << "device " << index;
        } else {
            EXPECT_NE(0u, ::GetLastError()) << "device " << index;
        }
    }
    EXPECT_LT(index, 10000u);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), ::GetLastError());
    EXPECT_TRUE(api.SetupDiDestroyDeviceInfoList(set));
    RecordProperty("devices", static_cast<int>(index));
    RecordProperty("devices_with_driver_key", static_cast<int>(withDriver));
}

TEST(Win32DeviceListApiTest, DeviceDataOfTheWrongSizeIsRefused) {
    ZRK::CWin32DeviceListApi api;
    const HDEVINFO set =
        api.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data - 1;
    EXPECT_FALSE(api.SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_TRUE(api.SetupDiDestroyDeviceInfoList(set));
}

TEST(Win32DeviceListApiTest, AShortPropertyBufferIsRefusedWithTheSizeNeeded) {
    ZRK::CWin32DeviceListApi api;
    const HDEVINFO set =
        api.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    bool tried = false;
    for (DWORD index = 0; index < 10000 && !tried; ++index) {
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        if (!api.SetupDiEnumDeviceInfo(set, index, &data)) {
            break;
        }
        BYTE full[200];
        DWORD size = 0;
        if (!api.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, nullptr, full,
                                                   sizeof full, &size) ||
            size < 2) {
            continue;
        }
        tried = true;
        BYTE small[1] = {0xEE};
        DWORD required = 0;
        EXPECT_FALSE(api.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, nullptr,
                                                           small, sizeof small, &required));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), ::GetLastError());
        EXPECT_EQ(size, required);
    }
    EXPECT_TRUE(api.SetupDiDestroyDeviceInfoList(set));
    if (!tried) {
        GTEST_SKIP() << "no present device with a hardware ID in this Wine prefix";
    }
}

// Raw disk and the request record -----------------------------------------

TEST(Win32RawDiskApiTest, ADriveThatDoesNotExistDoesNotOpen) {
    ZRK::CWin32RawDiskApi api;
    const HANDLE drive =
        api.CreateFileA("\\\\.\\PhysicalDrive99", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, drive);
    EXPECT_NE(0u, ::GetLastError());
}

TEST(Win32RawDiskApiTest, TheRequestIsRefusedByAHandleThatIsNoDrive) {
    TempFile file;
    ZRK::CWin32RawDiskApi api;
    const HANDLE handle =
        api.CreateFileA(file.Path(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    std::vector<std::uint8_t> record = BuildReturnCommandRecord(PassThroughLayout::Native());
    DWORD returned = 0;
    EXPECT_FALSE(api.DeviceIoControl(handle, ZRK::kIoctlScsiPassThroughDirect, record.data(),
                                     static_cast<DWORD>(record.size()), record.data(),
                                     static_cast<DWORD>(record.size()), &returned, nullptr));
    EXPECT_TRUE(api.CloseHandle(handle));
}

TEST(PassThroughRecordTest, PortableLayoutIsTheSystemStructure) {
    EXPECT_TRUE(ZRK::MatchesSystemPassThroughLayout(PassThroughLayout::Native()));
    const PassThroughLayout system = ZRK::SystemPassThroughLayout();
    EXPECT_EQ(sizeof(SCSI_PASS_THROUGH_DIRECT), system.structSize);
    EXPECT_EQ(sizeof(void*) == 8 ? 56u : 44u, system.structSize);

    // Changing any one field of a matching layout is noticed.
    PassThroughLayout shifted = PassThroughLayout::Native();
    shifted.offSenseInfoOffset += 4;
    EXPECT_FALSE(ZRK::MatchesSystemPassThroughLayout(shifted));
    EXPECT_FALSE(
        ZRK::MatchesSystemPassThroughLayout(PassThroughLayout::For(sizeof(void*) == 8 ? 4 : 8)));
}

TEST(PassThroughRecordTest, ReturnCommandReadsBackThroughTheSystemStructure) {
    const std::vector<std::uint8_t> record = BuildReturnCommandRecord(PassThroughLayout::Native());
    ASSERT_EQ(sizeof(SCSI_PASS_THROUGH_DIRECT) + 32, record.size());
    SCSI_PASS_THROUGH_DIRECT spt;
    std::memcpy(&spt, record.data(), sizeof spt);
    EXPECT_EQ(sizeof spt, spt.Length);
    EXPECT_EQ(0, spt.ScsiStatus);
    EXPECT_EQ(0, spt.PathId);
    EXPECT_EQ(1, spt.TargetId);
    EXPECT_EQ(0, spt.Lun);
    EXPECT_EQ(16, spt.CdbLength);
    EXPECT_EQ(32, spt.SenseInfoLength);
    EXPECT_EQ(SCSI_IOCTL_DATA_UNSPECIFIED, spt.DataIn);
    EXPECT_EQ(0u, spt.DataTransferLength);
    EXPECT_EQ(60u, spt.TimeOutValue);
    EXPECT_EQ(nullptr, spt.DataBuffer);
    EXPECT_EQ(sizeof spt, spt.SenseInfoOffset);
    const UCHAR cdb[16] = {0xFF};
    EXPECT_EQ(0, std::memcmp(cdb, spt.Cdb, sizeof cdb));
    for (std::size_t i = sizeof spt; i < record.size(); ++i) {
        EXPECT_EQ(0, record[i]) << "sense byte " << i;
    }
}

}  // namespace
}  // namespace Tolvane::Win32Test
