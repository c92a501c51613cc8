#include "platform/linux/acm_port_finder.h"

#include <gtest/gtest.h>

#include "fake_host.h"

using Tolvane::Linux::FindAcmPorts;

TEST(AcmPortFinder, PresentAdapterPortsInNumericOrderSkippingEverythingDoubtful) {
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

    const std::vector<std::uint16_t> adapter{0, 2, 10, 65535};
    EXPECT_EQ(FindAcmPorts(t.Root(), t.Path("dev"), 0x04D8, 0xE6B2), adapter);
    EXPECT_EQ(FindAcmPorts(t.Root(), t.Path("dev"), 0x2341, 0x0AFF),
              (std::vector<std::uint16_t>{1}));
    EXPECT_TRUE(FindAcmPorts(t.Path("absent"), t.Path("dev"), 0x04D8, 0xE6B2).empty());
}
