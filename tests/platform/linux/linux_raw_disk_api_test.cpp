// The SG device unit's request and outcome, and the raw-disk calls over it
// on a fake sysfs tree whose sg nodes are /dev/null.
#include "platform/linux/linux_raw_disk_api.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <tuple>

#include <gtest/gtest.h>

#include "fake_host.h"

using namespace Tolvane;
using namespace Tolvane::Linux;

namespace {

const PassThroughLayout kLayout = PassThroughLayout::Native();

}  // namespace

TEST(SgIo, RequestCarriesTheCommandAndTheOutcomeIsJudgedByTheTransport) {
    const std::uint8_t cdb[kCdbSize] = {0xFF};
    std::uint8_t sense[32];
    const sg_io_hdr_t h = NoDataRequest(cdb, 16, 60000, sense, 32);
    EXPECT_EQ(h.interface_id, 'S');
    EXPECT_EQ(h.dxfer_direction, SG_DXFER_NONE);
    EXPECT_EQ(h.dxfer_len, 0u);
    EXPECT_EQ(h.dxferp, nullptr);
    EXPECT_EQ(h.cmd_len, 16);
    EXPECT_EQ(h.mx_sb_len, 32);
    EXPECT_EQ(h.timeout, 60000u);
    EXPECT_EQ(NoDataRequest(cdb, 6, 0, sense, 300).mx_sb_len, UCHAR_MAX);  // saturates

    const struct {
        unsigned short host;
        unsigned short driver;
        int error;
    } transport[] = {{0x03, 0, ETIMEDOUT},
                     {0, 0x06, ETIMEDOUT},
                     {0x01, 0, ENODEV},
                     {0x07, 0, EIO},
                     {0, 0x04, EIO},
                     {0, 0x08, 0},  // sense: completed
                     {0, 0, 0}};
    for (const auto& c : transport) {
        sg_io_hdr_t result{};
        result.host_status = c.host;
        result.driver_status = c.driver;
        EXPECT_EQ(TransportOutcome(result), c.error) << c.host << "/" << c.driver;
    }

    // A CHECK CONDITION that came back with sense goes into the record as
    // Windows puts it there.
    std::vector<std::uint8_t> out = BuildReturnCommandRecord(kLayout);
    PassThroughRequest request{};
    ASSERT_TRUE(ParsePassThroughRecord(kLayout, out.data(), out.size(), &request));
    for (int i = 0; i < 32; ++i) {
        sense[i] = static_cast<std::uint8_t>(0x70 + i);
    }
    DWORD returned = 0;
    StorePassThroughReply(kLayout, request, 0x02, sense, 18, out.data(), &returned);
    EXPECT_EQ(out[kLayout.offScsiStatus], 0x02);
    EXPECT_EQ(out[kLayout.offSenseInfoLength], 18);
    EXPECT_EQ(std::memcmp(out.data() + kLayout.structSize, sense, 18), 0);
    EXPECT_EQ(out[kLayout.structSize + 18], 0);  // nothing past what came back
    EXPECT_EQ(returned, kLayout.structSize + 18);
}

TEST(LinuxRawDiskApi, DrivesAreTheUsbDisksAndOnlyTheReturnCommandIsSent) {
    TempTree t;
    BuildMixedMachine(t);
    // sg2 stands in as /dev/null: a pass-through that gets as far as the
    // ioctl is refused there, and nothing is sent. sg4 has no node.
    t.Link("dev/sg2", "/dev/null");
    CSystemError reasons;
    CLinuxRawDiskApi api(reasons, CSysfs(t.Root(), t.Path("dev")));
    const DWORD rw = GENERIC_READ | GENERIC_WRITE;
    for (const char* absent : {"\\\\.\\PhysicalDrive2", "\\\\.\\PhysicalDrive", "\\\\.\\COM1"}) {
        EXPECT_EQ(api.CreateFileA(absent, rw, 3, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(reasons.Text(), "") << absent;  // the system was not asked
    }
    // Drive 1 is sg4: the disk without a generic node takes no number.
    EXPECT_EQ(api.CreateFileA("\\\\.\\PhysicalDrive1", rw, 3, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(reasons.Text(), t.Path("dev/sg4") + ": No such file or directory");
    const HANDLE drive =
        api.CreateFileA("\\\\.\\PhysicalDrive0", rw, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(drive, INVALID_HANDLE_VALUE) << reasons.Text();
    // A success leaves the failure before it readable.
    EXPECT_EQ(reasons.Text(), t.Path("dev/sg4") + ": No such file or directory");

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

    // Refused before the system is asked, or (FORMAT UNIT) by the SG unit.
    const std::tuple<std::size_t, int, DWORD, DWORD> garbled[] = {
        // where, what is added there, the input's and the output's size
        {kLayout.offLength, 40, size, size},             // structure length
        {kLayout.offCdbLength, 17, size, size},          // CDB longer than the field
        {kLayout.offDataTransferLength, 1, size, size},  // a data phase
        {kLayout.offDataBuffer, 0x10, size, size},       // a data pointer
        {kLayout.offDataIn, 3, size, size},              // unknown direction
        {0, 0, size - 1, size},                          // sense area past the input
        {0, 0, size, size - 1},                          // ... or past the output
        {kLayout.offCdb, 0x05, size, size},              // FF + 5 = 04, FORMAT UNIT
    };
    for (const auto& [offset, add, inSize, outSize] : garbled) {
        record = good;
        record[offset] = static_cast<std::uint8_t>(record[offset] + add);
        const std::string before = reasons.Text();
        EXPECT_FALSE(send(passThrough, inSize, outSize));
        EXPECT_EQ(reasons.Text(), offset == kLayout.offCdb
                                      ? t.Path("dev/sg2") + ": Operation not permitted"
                                      : before)
            << offset;
    }
    record = good;
    EXPECT_FALSE(send(passThrough, size, size));
    EXPECT_EQ(reasons.Text(), t.Path("dev/sg2") + ": Inappropriate ioctl for device");
    EXPECT_EQ(record, good);  // untouched

    EXPECT_TRUE(api.CloseHandle(drive));  // the failure stays readable after the close
    EXPECT_EQ(reasons.Text(), t.Path("dev/sg2") + ": Inappropriate ioctl for device");
    EXPECT_FALSE(api.CloseHandle(drive));
    EXPECT_FALSE(send(passThrough, size, size));
}
