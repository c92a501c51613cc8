#include "platform/linux/linux_rights.h"

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>

#include <gtest/gtest.h>

#include "temp_tree.h"

using Tolvane::Linux::CLinuxRightsCheck;

namespace {

// The process facts under the test's control; the device tree is real.
class CScriptedRights : public CLinuxRightsCheck {
public:
    explicit CScriptedRights(const TempTree& t)
        : CLinuxRightsCheck(t.Root(), t.Path("dev"), 0x04D8, 0xE6B2), m_tree(t) {}

    bool root = false;
    std::set<std::string> readWrite;  // node names under dev/
    std::set<gid_t> groups;
    std::map<std::string, gid_t> named;

protected:
    bool IsSuperUser() override { return root; }
    bool CanReadWrite(const std::string& path) override {
        return readWrite.count(path.substr(m_tree.Path("dev/").size())) != 0;
    }
    bool IsMemberOf(gid_t group) override { return groups.count(group) != 0; }
    bool LookupGroup(const char* name, gid_t* group) override {
        auto it = named.find(name);
        if (it == named.end()) {
            return false;
        }
        *group = it->second;
        return true;
    }

private:
    const TempTree& m_tree;
};

void AddAdapterPort(const TempTree& t, int n) {
    const std::string iface = "devices/usb1/1-2/1-2:1." + std::to_string(n);
    t.File("devices/usb1/1-2/idVendor", "04d8\n");
    t.File("devices/usb1/1-2/idProduct", "e6b2\n");
    t.Dir(iface);
    t.Link("class/tty/ttyACM" + std::to_string(n) + "/device", "../../../" + iface);
    t.File("dev/ttyACM" + std::to_string(n), "");
}

void AddUsbDisk(const TempTree& t, const std::string& sg) {
    t.Link("devices/usb2/subsystem", "../../bus/usb");
    t.File("devices/usb2/2-1/host6/6:0:0:0/type", "0\n");
    t.Dir("devices/usb2/2-1/host6/6:0:0:0/scsi_generic/" + sg);
    t.Link("bus/scsi/devices/6:0:0:0", "../../../devices/usb2/2-1/host6/6:0:0:0");
    t.File("dev/" + sg, "");
}

gid_t GroupOf(const TempTree& t, const std::string& rel) {
    struct stat st {};
    EXPECT_EQ(stat(t.Path(rel).c_str(), &st), 0);
    return st.st_gid;
}

}  // namespace

TEST(LinuxRights, PresentDevicesMustBeReadableAndWritable) {
    TempTree t;
    AddAdapterPort(t, 0);
    AddAdapterPort(t, 1);
    AddUsbDisk(t, "sg3");
    CScriptedRights check(t);
    check.readWrite = {"ttyACM0", "ttyACM1", "sg3"};
    EXPECT_TRUE(check.Check());
    check.readWrite = {"ttyACM0", "sg3"};  // one port short
    EXPECT_FALSE(check.Check());
    check.readWrite = {"ttyACM0", "ttyACM1"};
    check.groups = {GroupOf(t, "dev/sg3")};  // group alone does not stand in for a present node
    EXPECT_FALSE(check.Check());
    check.root = true;
    check.readWrite.clear();
    EXPECT_TRUE(check.Check());
}

TEST(LinuxRights, AnAbsentHalfIsJudgedByTheGroupOfTheLowestNode) {
    TempTree t;
    AddAdapterPort(t, 2);  // normal state: ports, no USB disk
    t.File("dev/sg10", "");
    t.File("dev/sg2", "");
    if (chown(t.Path("dev/sg2").c_str(), static_cast<uid_t>(-1), 4242) != 0 ||
        chown(t.Path("dev/sg10").c_str(), static_cast<uid_t>(-1), 4343) != 0) {
        GTEST_SKIP() << "needs to give files other groups";
    }
    CScriptedRights check(t);
    check.readWrite = {"ttyACM2"};
    check.named = {{"disk", 4343}};
    check.groups = {4343};
    EXPECT_FALSE(check.Check());
    check.groups = {4242};
    EXPECT_TRUE(check.Check());
}

TEST(LinuxRights, WithNoNodeAtAllTheConventionalGroupsDecide) {
    TempTree t;
    t.Dir("dev");
    CScriptedRights check(t);
    check.named = {{"dialout", 20}, {"disk", 6}};
    check.groups = {20, 6};
    EXPECT_TRUE(check.Check());
    check.groups = {20};
    EXPECT_FALSE(check.Check());
    check.groups = {20, 6};
    check.named.erase("disk");  // a system without the group
    EXPECT_FALSE(check.Check());
}
