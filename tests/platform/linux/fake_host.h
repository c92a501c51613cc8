// Scratch sysfs and /dev trees laid out as the kernel does, and a
// pseudo-terminal standing in for one of the adapter's serial ports.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// A scratch directory, removed at the end (links are removed, never followed).
class TempTree {
public:
    TempTree() {
        char pattern[] = "/tmp/tolvane-linux-XXXXXX";
        EXPECT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
    }
    ~TempTree() {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    const std::string& Root() const { return m_root; }
    std::string Path(const std::string& rel) const { return m_root + "/" + rel; }

    // Each creates every missing parent.
    void Dir(const std::string& rel) const { std::filesystem::create_directories(Path(rel)); }
    void File(const std::string& rel, const std::string& text) const {
        Dir(std::filesystem::path(rel).parent_path());
        std::ofstream(Path(rel)) << text;
    }
    void Link(const std::string& rel, const std::string& target) const {
        Dir(std::filesystem::path(rel).parent_path());
        std::filesystem::create_symlink(target, Path(rel));
    }

private:
    std::string m_root;
};

// One USB device with the given ID files (null: file missing) and one ACM
// interface per tty: class/tty/<tty> links into the interface's tty
// directory, whose "device" link climbs back to the interface.
inline void AddUsbSerial(const TempTree& t, const std::string& usb, const char* vendor,
                         const char* product, const std::vector<std::string>& ttys) {
    const std::string dev = "devices/pci0000:00/0000:00:14.0/usb1/" + usb;
    if (vendor != nullptr) {
        t.File(dev + "/idVendor", vendor);
    }
    if (product != nullptr) {
        t.File(dev + "/idProduct", product);
    }
    for (std::size_t i = 0; i < ttys.size(); ++i) {
        const std::string iface = usb + ":1." + std::to_string(i);
        t.Link(dev + "/" + iface + "/tty/" + ttys[i] + "/device", "../../../" + iface);
        t.Link("class/tty/" + ttys[i], "../../" + dev + "/" + iface + "/tty/" + ttys[i]);
    }
}

// The SCSI device host:channel:target:lun under parent with its peripheral
// type and generic node (null: none).
inline void AddScsiDevice(const TempTree& t, const std::string& parent, const std::string& hctl,
                          const char* type, const char* sg) {
    const std::string dir = parent + "/host" + hctl.substr(0, hctl.find(':')) + "/target" +
                            hctl.substr(0, hctl.rfind(':')) + "/" + hctl;
    t.File(dir + "/type", type);
    if (sg != nullptr) {
        t.Dir(dir + "/scsi_generic/" + sg);
    }
    t.Link("bus/scsi/devices/" + hctl, "../../../" + dir);
}

// A SATA disk, a virtio disk, and two USB devices: one with a disk, a CD-ROM
// and a disk without a generic node, one with a read-only disk on a host
// number that sorts before 6 as text.
inline void BuildMixedMachine(const TempTree& t) {
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

// The slave is reachable as <tree>/ttyACM<port>; the master plays the adapter.
class PtyAdapter {
public:
    PtyAdapter(const TempTree& tree, int port) : m_master(posix_openpt(O_RDWR | O_NOCTTY)) {
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
            return;
        }
        tree.Link("ttyACM" + std::to_string(port), ptsname(m_master));
    }
    ~PtyAdapter() { Leave(); }

    int Master() const { return m_master; }

    // The adapter leaves the bus: the slave side is hung up.
    void Leave() {
        if (m_master >= 0) {
            close(m_master);
        }
        m_master = -1;
    }

private:
    int m_master;
};
