#include "platform/linux/acm_port_finder.h"

#include <gtest/gtest.h>

#include "platform/linux/linux_host.h"
#include "temp_tree.h"

using Tolvane::Linux::FindAcmPorts;

namespace {

constexpr char kBus[] = "devices/pci0000:00/0000:00:14.0/usb1";

// One USB device with the given ID files (null: file missing) and one ACM
// interface per tty, laid out as the kernel does: class/tty/<tty> links into
// the interface's tty directory, whose "device" link climbs back to the
// interface.
void AddUsbSerial(const TempTree& t, const std::string& usbName, const char* vendor,
                  const char* product, const std::vector<std::string>& ttys, int firstIf = 0) {
    const std::string dev = std::string(kBus) + "/" + usbName;
    t.Dir(dev);
    if (vendor != nullptr) {
        t.File(dev + "/idVendor", vendor);
    }
    if (product != nullptr) {
        t.File(dev + "/idProduct", product);
    }
    int interfaceNumber = firstIf;
    for (const std::string& tty : ttys) {
        const std::string iface = usbName + ":1." + std::to_string(interfaceNumber++);
        t.Dir(dev + "/" + iface + "/tty/" + tty);
        t.Link(dev + "/" + iface + "/tty/" + tty + "/device", "../../../" + iface);
        t.Link("class/tty/" + tty, "../../" + dev + "/" + iface + "/tty/" + tty);
    }
}

}  // namespace

TEST(AcmPortFinder, KeepsTheAdapterPortsInNumericOrderAndSkipsEverythingDoubtful) {
    TempTree t;
    AddUsbSerial(t, "1-2", "04d8\n", "e6b2\n", {"ttyACM10", "ttyACM2"});
    AddUsbSerial(t, "1-3", "  04D8 \n", "E6B2", {"ttyACM0"});  // padded, upper case
    AddUsbSerial(t, "1-4", "2341\n", "0043\n", {"ttyACM1"});   // another vendor
    AddUsbSerial(t, "1-5", "04d8\n", nullptr, {"ttyACM3"});    // no idProduct
    AddUsbSerial(t, "1-6", "04d8\n", "e6b2x\n", {"ttyACM4"});  // garbled product
    AddUsbSerial(t, "1-7", "", "e6b2\n", {"ttyACM5"});         // empty vendor
    // Names that are not ACM ports, even on the adapter's own IDs.
    AddUsbSerial(t, "1-8", "04d8\n", "e6b2\n", {"ttyUSB0", "ttyACMx", "ttyACM65536", "ttyACM07"});
    t.Link("class/tty/ttyACM6", "../../devices/gone/tty/ttyACM6");  // dangling
    t.Dir("class/tty/ttyACM7");                                     // no device link

    EXPECT_EQ(FindAcmPorts(t.Root(), 0x04D8, 0xE6B2), (std::vector<std::uint16_t>{0, 2, 10}));
    EXPECT_EQ(FindAcmPorts(t.Root(), 0x2341, 0x0043), (std::vector<std::uint16_t>{1}));
    EXPECT_TRUE(FindAcmPorts(t.Root(), 0x04D8, 0x0001).empty());
}

TEST(AcmPortFinder, HighestPortNumberAndMissingTreeAreHandled) {
    TempTree t;
    EXPECT_TRUE(FindAcmPorts(t.Root(), 0x04D8, 0xE6B2).empty());  // no class/tty at all
    EXPECT_TRUE(FindAcmPorts(t.Path("absent"), 0x04D8, 0xE6B2).empty());
    AddUsbSerial(t, "1-2", "04d8", "e6b2", {"ttyACM65535"});
    EXPECT_EQ(FindAcmPorts(t.Root(), 0x04D8, 0xE6B2), (std::vector<std::uint16_t>{65535}));
}

TEST(LinuxHost, FindUsbComPortsReturnsTheFinderResultAsTheLibraryArray) {
    TempTree t;
    AddUsbSerial(t, "1-2", "04d8\n", "e6b2\n", {"ttyACM10", "ttyACM2"});
    Tolvane::Linux::CLinuxHost host(t.Root(), t.Path("dev"));
    ZRK::CSharedArray<WORD> ports = host.FindUsbComPorts(0x04D8, 0xE6B2);
    ASSERT_EQ(ports.GetSize(), 2u);
    EXPECT_EQ(ports[0], 2);
    EXPECT_EQ(ports[1], 10);
    EXPECT_EQ(host.FindUsbComPorts(0x04D8, 0x0001).GetSize(), 0u);
    EXPECT_EQ(&host.Serial(), static_cast<ZRK::CSerialApi*>(&host.LinuxSerial()));
}
