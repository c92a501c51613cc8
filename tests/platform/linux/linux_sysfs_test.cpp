// The adapter's ports and the USB disks as sysfs shows them, on fake trees
// laid out as the kernel lays them out.
#include "platform/linux/sysfs.h"

#include <tuple>

#include <gtest/gtest.h>

#include "fake_host.h"

using Tolvane::Linux::CSysfs;
using Tolvane::Linux::UsbDiskInfo;

TEST(SysfsAcmPorts, PresentAdapterPortsInNumericOrderSkippingEverythingDoubtful) {
    TempTree t;
    AddUsbSerial(t, "1-2", "04d8\n", "e6b2\n", {"ttyACM10", "ttyACM2", "ttyACM65535"});
    AddUsbSerial(t, "1-3", "  04D8 \n", "E6B2", {"ttyACM0"});  // padded, upper case
    AddUsbSerial(t, "1-4", "2341\n", "0aFf\n", {"ttyACM1"});   // another device
    AddUsbSerial(t, "1-5", "04d8\n", nullptr, {"ttyACM3"});    // no idProduct
    AddUsbSerial(t, "1-6", "04d8\n", "e6b2x\n", {"ttyACM4"});  // garbled product
    AddUsbSerial(t, "1-7", "", "e6b2\n", {"ttyACM5"});         // empty vendor
    // Names that are not ACM ports, even on the adapter's own IDs.
    AddUsbSerial(t, "1-8", "04d8\n", "e6b2\n", {"ttyUSB0", "ttyACMx", "ttyACM65536", "ttyACM07"});
    // The adapter's, but not present: no node yet, or a node that is no device.
    AddUsbSerial(t, "1-9", "04d8\n", "e6b2\n", {"ttyACM8", "ttyACM9"});
    t.Link("class/tty/ttyACM6", "../../devices/gone/tty/ttyACM6");  // dangling
    t.Dir("class/tty/ttyACM7");                                     // no device link
    for (const auto& entry : std::filesystem::directory_iterator(t.Path("class/tty"))) {
        const std::string name = entry.path().filename();
        name == "ttyACM9" ? t.File("dev/" + name, "") : t.Link("dev/" + name, "/dev/null");
    }
    std::filesystem::remove(t.Path("dev/ttyACM8"));

    const CSysfs sysfs(t.Root(), t.Path("dev"));
    EXPECT_EQ(sysfs.AcmPorts(0x04D8, 0xE6B2), (std::vector<std::uint16_t>{0, 2, 10, 65535}));
    EXPECT_EQ(sysfs.AcmPorts(0x2341, 0x0AFF), (std::vector<std::uint16_t>{1}));
    EXPECT_TRUE(CSysfs(t.Path("absent"), t.Path("dev")).AcmPorts(0x04D8, 0xE6B2).empty());
}

TEST(SysfsUsbDisks, OnlyUsbDisksInAddressOrderNumberedWhereTheyHaveAGenericNode) {
    TempTree t;
    BuildMixedMachine(t);
    const std::vector<UsbDiskInfo> disks = CSysfs(t.Root(), "/dev").ListUsbDisks();
    // generic node, block node, size, read-only, drive number
    const std::tuple<std::string, std::string, std::uint64_t, bool, int> expected[] = {
        {"/dev/sg2", "sdb", 15628053168ull * 512, false, 0},
        {"", "sdc", 0, false, -1},
        {"/dev/sg4", "sdd", 4096, true, 1}};
    ASSERT_EQ(disks.size(), 3u);
    for (std::size_t i = 0; i < disks.size(); ++i) {
        const auto& [sg, block, size, readOnly, drive] = expected[i];
        EXPECT_EQ(disks[i].genericPath, sg) << i;
        EXPECT_EQ(disks[i].blockPath, "/dev/" + block) << i;
        EXPECT_EQ(disks[i].vendor, "MILT") << i;
        EXPECT_EQ(disks[i].model, "Disk " + block) << i;
        EXPECT_EQ(disks[i].sizeBytes, size) << i;
        EXPECT_EQ(disks[i].readOnly, readOnly) << i;
        EXPECT_EQ(disks[i].driveNumber, drive) << i;
    }
    EXPECT_TRUE(CSysfs(t.Path("absent"), "/dev").ListUsbDisks().empty());
}
