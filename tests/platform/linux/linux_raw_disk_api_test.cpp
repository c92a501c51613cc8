#include "platform/linux/linux_raw_disk_api.h"

#include <climits>
#include <cstring>

#include <gtest/gtest.h>

#include "temp_tree.h"

using namespace Tolvane;
using namespace Tolvane::Linux;

namespace {

const DWORD kRw = GENERIC_READ | GENERIC_WRITE;
const std::string kUsbBus = "devices/pci0000:00/0000:00:14.0/usb2";

void AddScsiDevice(const TempTree& t, const std::string& parent, const std::string& hctl,
                   const char* type, const char* sg) {
    const std::size_t colon = hctl.find(':');
    const std::string host = hctl.substr(0, colon);
    const std::string dir =
        parent + "/host" + host + "/target" + hctl.substr(0, hctl.rfind(':')) + "/" + hctl;
    t.File(dir + "/type", type);
    if (sg != nullptr) {
        t.Dir(dir + "/scsi_generic/" + sg);
    }
    t.Link("bus/scsi/devices/" + hctl, "../../../" + dir);
}

// USB disks behind two USB sticks, a SATA disk, a virtio disk, a USB CD-ROM
// and a USB disk without a generic node.
void BuildMixedMachine(const TempTree& t) {
    for (const std::string& usbDir : {kUsbBus, kUsbBus + "/2-1", kUsbBus + "/2-1/2-1:1.0",
                                      kUsbBus + "/2-2", kUsbBus + "/2-2/2-2:1.0"}) {
        t.Link(usbDir + "/subsystem", "../../../../bus/usb");
    }
    t.Link("devices/pci0000:00/0000:00:14.0/subsystem", "../../../bus/pci");
    AddScsiDevice(t, "devices/pci0000:00/0000:00:1f.2/ata1", "0:0:0:0", "0\n", "sg0");
    AddScsiDevice(t, "devices/pci0000:00/0000:00:04.0/virtio1", "2:0:0:0", "0\n", "sg1");
    AddScsiDevice(t, kUsbBus + "/2-2/2-2:1.0", "6:0:0:0", "0\n", "sg2");
    AddScsiDevice(t, kUsbBus + "/2-2/2-2:1.0", "6:0:0:1", "5\n", "sg3");
    AddScsiDevice(t, kUsbBus + "/2-2/2-2:1.0", "6:0:0:2", "0\n", nullptr);
    AddScsiDevice(t, kUsbBus + "/2-1/2-1:1.0", "10:0:0:0", " 0 ", "sg4");
    t.Link("bus/scsi/devices/host6", "../../../" + kUsbBus + "/2-2/2-2:1.0/host6");
    t.Link("bus/scsi/devices/7:0:0:0", "../../../devices/gone/7:0:0:0");
}

PassThroughRequest ParsedReturnCommand() {
    const PassThroughLayout layout = PassThroughLayout::Native();
    const std::vector<std::uint8_t> record = BuildReturnCommandRecord(layout);
    PassThroughRequest r{};
    EXPECT_TRUE(ParsePassThroughRecord(layout, record.data(), record.size(), &r));
    return r;
}

}  // namespace

TEST(UsbScsiDisks, OnlyUsbDisksWithAGenericNodeInAddressOrder) {
    TempTree t;
    BuildMixedMachine(t);
    const std::vector<UsbScsiDisk> disks = ListUsbScsiDisks(t.Root());
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].address.host, 6u);
    EXPECT_EQ(disks[0].genericNode, "sg2");
    EXPECT_EQ(disks[1].address.host, 10u);
    EXPECT_EQ(disks[1].genericNode, "sg4");
    EXPECT_TRUE(ListUsbScsiDisks(t.Path("absent")).empty());
}

TEST(SgIoRequest, CarriesTheReturnCommandWithoutData) {
    const PassThroughRequest request = ParsedReturnCommand();
    std::uint8_t cdb[kCdbSize];
    std::uint8_t sense[32];
    const sg_io_hdr_t h = BuildSgIoRequest(request, cdb, sense);
    EXPECT_EQ(h.interface_id, 'S');
    EXPECT_EQ(h.dxfer_direction, SG_DXFER_NONE);
    EXPECT_EQ(h.dxfer_len, 0u);
    EXPECT_EQ(h.dxferp, nullptr);
    ASSERT_EQ(h.cmd_len, 16);
    EXPECT_EQ(h.cmdp, cdb);
    EXPECT_EQ(cdb[0], 0xFF);
    for (int i = 1; i < 16; ++i) {
        EXPECT_EQ(cdb[i], 0) << i;
    }
    EXPECT_EQ(h.sbp, sense);
    EXPECT_EQ(h.mx_sb_len, 32);
    EXPECT_EQ(h.timeout, 60000u);

    PassThroughRequest odd = request;
    odd.cdbLength = 6;
    odd.senseInfoLength = 0;
    odd.timeOutValue = 0xFFFFFFFF;
    const sg_io_hdr_t h2 = BuildSgIoRequest(odd, cdb, sense);
    EXPECT_EQ(h2.cmd_len, 6);
    EXPECT_EQ(h2.mx_sb_len, 0);
    EXPECT_EQ(h2.timeout, UINT_MAX);
}

TEST(SgIoRequest, OutcomeIsStoredInTheCallersRecordAndJudgedLikeWindows) {
    const PassThroughLayout layout = PassThroughLayout::Native();
    const PassThroughRequest request = ParsedReturnCommand();
    std::vector<std::uint8_t> out = BuildReturnCommandRecord(layout);
    std::uint8_t sense[32];
    for (int i = 0; i < 32; ++i) {
        sense[i] = static_cast<std::uint8_t>(0x70 + i);
    }
    sg_io_hdr_t h{};
    h.status = 0x02;  // CHECK CONDITION: the command reached the device
    h.sb_len_wr = 18;
    h.driver_status = 0x08;
    DWORD returned = 0;
    EXPECT_EQ(StoreSgIoResult(h, layout, request, sense, out.data(), &returned), 0u);
    EXPECT_EQ(out[layout.offScsiStatus], 0x02);
    EXPECT_EQ(out[layout.offSenseInfoLength], 18);
    EXPECT_EQ(std::memcmp(out.data() + layout.structSize, sense, 18), 0);
    EXPECT_EQ(out[layout.structSize + 18], 0);  // nothing past what came back
    EXPECT_EQ(returned, layout.structSize + 18);

    const struct {
        unsigned host;
        unsigned driver;
        DWORD error;
    } transport[] = {{0x03, 0, ERROR_SEM_TIMEOUT},
                     {0, 0x06, ERROR_SEM_TIMEOUT},
                     {0x01, 0, ERROR_DEVICE_NOT_CONNECTED},
                     {0x07, 0, ERROR_IO_DEVICE},
                     {0, 0x04, ERROR_IO_DEVICE},
                     {0, 0, ERROR_SUCCESS}};
    for (const auto& c : transport) {
        h = sg_io_hdr_t{};
        h.host_status = static_cast<unsigned short>(c.host);
        h.driver_status = static_cast<unsigned short>(c.driver);
        EXPECT_EQ(StoreSgIoResult(h, layout, request, sense, out.data(), &returned), c.error);
        EXPECT_EQ(out[layout.offSenseInfoLength], 0);
        EXPECT_EQ(returned, layout.structSize);
    }
}

TEST(LinuxRawDiskApi, DrivesAreTheUsbDisksAndOnlyNoDataRecordsAreSent) {
    TempTree t;
    BuildMixedMachine(t);
    // The generic node of drive 0 stands in as /dev/null: a pass-through
    // that gets as far as the ioctl is refused there, and nothing is sent.
    t.Link("dev/sg2", "/dev/null");
    CLinuxRawDiskApi api(t.Root(), t.Path("dev"));
    for (const char* absent : {"\\\\.\\PhysicalDrive1",  // sg4 has no node in dev/
                               "\\\\.\\PhysicalDrive2", "\\\\.\\PhysicalDrive", "\\\\.\\COM1"}) {
        EXPECT_EQ(api.CreateFileA(absent, kRw, 3, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(api.LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << absent;
    }
    const HANDLE drive =
        api.CreateFileA("\\\\.\\PhysicalDrive0", kRw, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(drive, INVALID_HANDLE_VALUE) << api.LastError();

    const PassThroughLayout layout = PassThroughLayout::Native();
    const std::vector<std::uint8_t> good = BuildReturnCommandRecord(layout);
    std::vector<std::uint8_t> record = good;
    const DWORD size = static_cast<DWORD>(record.size());
    DWORD returned = 7;
    EXPECT_FALSE(api.DeviceIoControl(drive, 0x2D1400, record.data(), size, record.data(), size,
                                     &returned, nullptr));
    EXPECT_EQ(api.LastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));

    struct Bad {
        std::size_t offset;
        std::uint8_t value;
        DWORD inSize;
        DWORD outSize;
    };
    const Bad bad[] = {
        {layout.offLength, 40, size, size},             // garbled structure length
        {layout.offCdbLength, 17, size, size},          // CDB longer than the field
        {layout.offDataTransferLength, 1, size, size},  // a data phase
        {layout.offDataBuffer, 0x10, size, size},       // a data pointer
        {layout.offDataIn, 3, size, size},              // unknown direction
        {layout.offCdb, 0x05, size, size},              // FF + 5 = 04, FORMAT UNIT
        {0, 0, size - 1, size},                         // sense area past the input
        {0, 0, size, size - 1},                         // ... or past the output
    };
    for (const Bad& b : bad) {
        record = good;
        record[b.offset] = static_cast<std::uint8_t>(record[b.offset] + b.value);
        EXPECT_FALSE(api.DeviceIoControl(drive, ZRK::kIoctlScsiPassThroughDirect, record.data(),
                                         b.inSize, record.data(), b.outSize, &returned, nullptr));
        EXPECT_EQ(api.LastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << b.offset;
    }
    record = good;
    EXPECT_FALSE(api.DeviceIoControl(drive, ZRK::kIoctlScsiPassThroughDirect, record.data(), size,
                                     record.data(), size, &returned, nullptr));
    EXPECT_EQ(api.LastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));  // ENOTTY
    EXPECT_EQ(record, good);                                                 // untouched

    EXPECT_TRUE(api.CloseHandle(drive));
    EXPECT_FALSE(api.CloseHandle(drive));
    EXPECT_EQ(api.LastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(api.DeviceIoControl(drive, ZRK::kIoctlScsiPassThroughDirect, record.data(), size,
                                     record.data(), size, &returned, nullptr));
    EXPECT_EQ(api.LastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}
