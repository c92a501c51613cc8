#include "platform/linux/linux_raw_disk_api.h"

#include <climits>
#include <cstring>

#include <gtest/gtest.h>

#include "fake_host.h"
#include "platform/linux/usb_disk_list.h"

using namespace Tolvane;
using namespace Tolvane::Linux;

namespace {

const PassThroughLayout kLayout = PassThroughLayout::Native();

// A SATA disk, a virtio disk, and two USB devices: one with a disk, a CD-ROM
// and a disk without a generic node, one with a read-only disk on a host
// number that sorts before 6 as text.
void BuildMixedMachine(const TempTree& t) {
    const std::string usb = "devices/pci0000:00/0000:00:14.0/usb2";
    t.Link(usb + "/2-1/subsystem", "../../../../../bus/usb");
    t.Link(usb + "/2-2/subsystem", "../../../../../bus/usb");
    t.Link("devices/pci0000:00/0000:00:1f.2/subsystem", "../../../bus/pci");
    AddScsiDevice(t, "devices/pci0000:00/0000:00:1f.2/ata1", "0:0:0:0", "0\n", "sg0");
    AddScsiDevice(t, "devices/pci0000:00/0000:00:04.0/virtio1", "2:0:0:0", "0\n", "sg1");
    AddScsiDevice(t, usb + "/2-2/2-2:1.0", "6:0:0:0", "0\n", "sg2");
    AddScsiDevice(t, usb + "/2-2/2-2:1.0", "6:0:0:1", "5\n", "sg3");
    AddScsiDevice(t, usb + "/2-2/2-2:1.0", "6:0:0:2", "0\n", nullptr);
    AddScsiDevice(t, usb + "/2-1/2-1:1.0", "10:0:0:0", " 0 ", "sg4");
    t.Link("bus/scsi/devices/host6", "../../../" + usb + "/2-2/2-2:1.0/host6");
    t.Link("bus/scsi/devices/7:0:0:0", "../../../devices/gone/7:0:0:0");
    // What the disk driver and the device's INQUIRY data add, as the kernel
    // writes them (padded, with a line feed).
    const struct {
        const char* hctl;
        const char* block;
        const char* size;
        const char* ro;
    } blocks[] = {{"0:0:0:0", "sda", "500118192\n", "0\n"},
                  {"6:0:0:0", "sdb", "15628053168\n", "0\n"},        // 8 TB: eleven digits
                  {"6:0:0:2", "sdc", "36028797018963969\n", "0\n"},  // bytes past 64 bits
                  {"10:0:0:0", "sdd", "8\n", "1\n"}};
    for (const auto& b : blocks) {
        const std::string dir = std::string("bus/scsi/devices/") + b.hctl;
        t.File(dir + "/vendor", "MILT    \n");
        t.File(dir + "/model", std::string("Disk ") + b.block + "         \n");
        t.File(dir + "/block/" + b.block + "/size", b.size);
        t.File(dir + "/block/" + b.block + "/ro", b.ro);
    }
}

}  // namespace

TEST(UsbScsiDisks, OnlyUsbDisksInAddressOrderWithTheirBlockNodes) {
    TempTree t;
    BuildMixedMachine(t);
    const std::vector<UsbScsiDisk> disks = ListUsbScsiDisks(t.Root());
    const struct {
        unsigned long host;
        const char* sg;
        const char* block;
        std::uint64_t size;
        bool readOnly;
    } expected[] = {{6, "sg2", "sdb", 15628053168ull * 512, false},
                    {6, "", "sdc", 0, false},
                    {10, "sg4", "sdd", 4096, true}};
    ASSERT_EQ(disks.size(), 3u);
    for (std::size_t i = 0; i < disks.size(); ++i) {
        EXPECT_EQ(disks[i].address.host, expected[i].host) << i;
        EXPECT_EQ(disks[i].genericNode, expected[i].sg) << i;
        EXPECT_EQ(disks[i].blockNode, expected[i].block) << i;
        EXPECT_EQ(disks[i].vendor, "MILT") << i;
        EXPECT_EQ(disks[i].model, std::string("Disk ") + expected[i].block) << i;
        EXPECT_EQ(disks[i].sizeBytes, expected[i].size) << i;
        EXPECT_EQ(disks[i].readOnly, expected[i].readOnly) << i;
    }
    EXPECT_TRUE(ListUsbScsiDisks(t.Path("absent")).empty());

    // The listing for status: device paths, and no generic node where none.
    const std::vector<UsbDiskInfo> shown = CSysfsUsbDiskList(t.Root(), "/dev").ListUsbDisks();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].blockPath, "/dev/sdb");
    EXPECT_EQ(shown[0].genericPath, "/dev/sg2");
    EXPECT_EQ(shown[1].genericPath, "");
    EXPECT_TRUE(shown[2].readOnly);
}

TEST(SgIo, RequestCarriesTheReturnCommandAndTheOutcomeIsJudgedLikeWindows) {
    std::vector<std::uint8_t> out = BuildReturnCommandRecord(kLayout);
    PassThroughRequest request{};
    ASSERT_TRUE(ParsePassThroughRecord(kLayout, out.data(), out.size(), &request));
    std::uint8_t cdb[kCdbSize];
    std::uint8_t sense[32];
    const sg_io_hdr_t h = BuildSgIoRequest(request, cdb, sense);
    EXPECT_EQ(h.interface_id, 'S');
    EXPECT_EQ(h.dxfer_direction, SG_DXFER_NONE);
    EXPECT_EQ(h.dxfer_len, 0u);
    EXPECT_EQ(h.dxferp, nullptr);
    EXPECT_EQ(h.cmdp, cdb);
    ASSERT_EQ(h.cmd_len, 16);
    const std::uint8_t returnCommand[kCdbSize] = {0xFF};
    EXPECT_EQ(std::memcmp(cdb, returnCommand, kCdbSize), 0);
    EXPECT_EQ(h.sbp, sense);
    EXPECT_EQ(h.mx_sb_len, 32);
    EXPECT_EQ(h.timeout, 60000u);
    PassThroughRequest odd = request;
    odd.cdbLength = 6;
    odd.senseInfoLength = 0;
    odd.timeOutValue = 0xFFFFFFFF;  // saturates rather than wraps
    const sg_io_hdr_t h2 = BuildSgIoRequest(odd, cdb, sense);
    EXPECT_EQ(h2.cmd_len, 6);
    EXPECT_EQ(h2.mx_sb_len, 0);
    EXPECT_EQ(h2.timeout, UINT_MAX);

    for (int i = 0; i < 32; ++i) {
        sense[i] = static_cast<std::uint8_t>(0x70 + i);
    }
    sg_io_hdr_t result{};
    result.status = 0x02;  // CHECK CONDITION: the command reached the device
    result.sb_len_wr = 18;
    result.driver_status = 0x08;
    DWORD returned = 0;
    EXPECT_EQ(StoreSgIoResult(result, kLayout, request, sense, out.data(), &returned), 0u);
    EXPECT_EQ(out[kLayout.offScsiStatus], 0x02);
    EXPECT_EQ(out[kLayout.offSenseInfoLength], 18);
    EXPECT_EQ(std::memcmp(out.data() + kLayout.structSize, sense, 18), 0);
    EXPECT_EQ(out[kLayout.structSize + 18], 0);  // nothing past what came back
    EXPECT_EQ(returned, kLayout.structSize + 18);

    const struct {
        unsigned short host;
        unsigned short driver;
        DWORD error;
    } transport[] = {{0x03, 0, ERROR_SEM_TIMEOUT},
                     {0, 0x06, ERROR_SEM_TIMEOUT},
                     {0x01, 0, ERROR_DEVICE_NOT_CONNECTED},
                     {0x07, 0, ERROR_IO_DEVICE},
                     {0, 0x04, ERROR_IO_DEVICE},
                     {0, 0, ERROR_SUCCESS}};
    for (const auto& c : transport) {
        SCOPED_TRACE(testing::Message() << c.host << "/" << c.driver);
        result = sg_io_hdr_t{};
        result.host_status = c.host;
        result.driver_status = c.driver;
        EXPECT_EQ(StoreSgIoResult(result, kLayout, request, sense, out.data(), &returned), c.error);
        EXPECT_EQ(out[kLayout.offSenseInfoLength], 0);
        EXPECT_EQ(returned, kLayout.structSize);
    }
}

TEST(LinuxRawDiskApi, DrivesAreTheUsbDisksAndOnlyTheReturnCommandIsSent) {
    TempTree t;
    BuildMixedMachine(t);
    // The nodes stand in as /dev/null: a pass-through that gets as far as
    // the ioctl is refused there, and nothing is sent.
    t.Link("dev/sg2", "/dev/null");
    t.Link("dev/sg4", "/dev/null");
    CLinuxRawDiskApi api(t.Root(), t.Path("dev"));
    const DWORD rw = GENERIC_READ | GENERIC_WRITE;
    for (const char* absent : {"\\\\.\\PhysicalDrive2", "\\\\.\\PhysicalDrive", "\\\\.\\COM1"}) {
        EXPECT_EQ(api.CreateFileA(absent, rw, 3, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(api.LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << absent;
    }
    // Drive 1 is sg4: the disk without a generic node takes no number.
    const HANDLE second =
        api.CreateFileA("\\\\.\\PhysicalDrive1", rw, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(second, INVALID_HANDLE_VALUE) << api.LastError();
    EXPECT_TRUE(api.CloseHandle(second));
    const HANDLE drive =
        api.CreateFileA("\\\\.\\PhysicalDrive0", rw, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(drive, INVALID_HANDLE_VALUE) << api.LastError();

    const std::vector<std::uint8_t> good = BuildReturnCommandRecord(kLayout);
    std::vector<std::uint8_t> record = good;
    const DWORD size = static_cast<DWORD>(record.size());
    const auto send = [&](DWORD code, DWORD inSize, DWORD outSize) {
        DWORD returned = 7;
        return api.DeviceIoControl(drive, code, record.data(), inSize, record.data(), outSize,
                                   &returned, nullptr);
    };
    const DWORD passThrough = ZRK::kIoctlScsiPassThroughDirect;
    EXPECT_FALSE(send(0x2D1400, size, size));
    EXPECT_EQ(api.LastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));

    const struct {
        std::size_t offset;
        std::uint8_t add;
        DWORD inSize;
        DWORD outSize;
    } garbled[] = {
        {kLayout.offLength, 40, size, size},             // structure length
        {kLayout.offCdbLength, 17, size, size},          // CDB longer than the field
        {kLayout.offDataTransferLength, 1, size, size},  // a data phase
        {kLayout.offDataBuffer, 0x10, size, size},       // a data pointer
        {kLayout.offDataIn, 3, size, size},              // unknown direction
        {kLayout.offCdb, 0x05, size, size},              // FF + 5 = 04, FORMAT UNIT
        {0, 0, size - 1, size},                          // sense area past the input
        {0, 0, size, size - 1},                          // ... or past the output
    };
    for (const auto& g : garbled) {
        record = good;
        record[g.offset] = static_cast<std::uint8_t>(record[g.offset] + g.add);
        EXPECT_FALSE(send(passThrough, g.inSize, g.outSize));
        EXPECT_EQ(api.LastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << g.offset;
    }
    record = good;
    EXPECT_FALSE(send(passThrough, size, size));
    EXPECT_EQ(api.LastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));  // ENOTTY
    EXPECT_EQ(record, good);                                                 // untouched

    EXPECT_TRUE(api.CloseHandle(drive));
    EXPECT_FALSE(api.CloseHandle(drive));
    EXPECT_EQ(api.LastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(send(passThrough, size, size));
    EXPECT_EQ(api.LastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}
