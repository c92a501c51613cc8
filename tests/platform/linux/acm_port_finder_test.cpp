#include "platform/linux/acm_port_finder.h"

#include <gtest/gtest.h>

#include "fake_host.h"
#include "platform/linux/linux_host.h"

using Tolvane::Linux::FindAcmPorts;

TEST(AcmPortFinder, AdapterPortsInNumericOrderSkippingEverythingDoubtful) {
    TempTree t;
    AddUsbSerial(t, "1-2", "04d8\n", "e6b2\n", {"ttyACM10", "ttyACM2", "ttyACM65535"});
    AddUsbSerial(t, "1-3", "  04D8 \n", "E6B2", {"ttyACM0"});  // padded, upper case
    AddUsbSerial(t, "1-4", "2341\n", "0043\n", {"ttyACM1"});   // another vendor
    AddUsbSerial(t, "1-5", "04d8\n", nullptr, {"ttyACM3"});    // no idProduct
    AddUsbSerial(t, "1-6", "04d8\n", "e6b2x\n", {"ttyACM4"});  // garbled product
    AddUsbSerial(t, "1-7", "", "e6b2\n", {"ttyACM5"});         // empty vendor
    // Names that are not ACM ports, even on the adapter's own IDs.
    AddUsbSerial(t, "1-8", "04d8\n", "e6b2\n", {"ttyUSB0", "ttyACMx", "ttyACM65536", "ttyACM07"});
    t.Link("class/tty/ttyACM6", "../../devices/gone/tty/ttyACM6");  // dangling
    t.Dir("class/tty/ttyACM7");                                     // no device link

    const std::vector<std::uint16_t> adapter{0, 2, 10, 65535};
    EXPECT_EQ(FindAcmPorts(t.Root(), 0x04D8, 0xE6B2), adapter);
    EXPECT_EQ(FindAcmPorts(t.Root(), 0x2341, 0x0043), (std::vector<std::uint16_t>{1}));
    EXPECT_TRUE(FindAcmPorts(t.Root(), 0x04D8, 0x0001).empty());
    EXPECT_TRUE(FindAcmPorts(t.Path("absent"), 0x04D8, 0xE6B2).empty());

    // The host hands the same list on as the library's array.
    Tolvane::Linux::CLinuxHost host(t.Root(), t.Path("dev"));
    const ZRK::CSharedArray<WORD> ports = host.FindUsbComPorts(0x04D8, 0xE6B2);
    ASSERT_EQ(ports.GetSize(), adapter.size());
    for (std::uint32_t i = 0; i < ports.GetSize(); ++i) {
        EXPECT_EQ(ports[i], adapter[i]);
    }
}
