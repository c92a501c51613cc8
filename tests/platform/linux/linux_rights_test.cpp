#include "platform/linux/linux_rights.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "fake_host.h"

namespace {

// The process facts under the test's control; the device tree is real.
class CScriptedRights : public Tolvane::Linux::CLinuxRightsCheck {
public:
    explicit CScriptedRights(const TempTree& t)
        : CLinuxRightsCheck(Tolvane::Linux::CSysfs(t.Root(), t.Path("dev")), 0x04D8, 0xE6B2),
          m_dev(t.Path("dev/")) {}

    bool root = false;
    std::set<std::string> readWrite;  // node names under dev/
    std::set<gid_t> groups;
    std::map<std::string, gid_t> named;

protected:
    bool IsSuperUser() override { return root; }
    int ReadWriteError(const std::string& path) override {
        return readWrite.count(path.substr(m_dev.size())) != 0 ? 0 : EACCES;
    }
    bool IsMemberOf(gid_t group) override { return groups.count(group) != 0; }
    bool LookupGroup(const char* name, gid_t* group) override {
        const auto it = named.find(name);
        *group = it != named.end() ? it->second : 0;
        return it != named.end();
    }
    std::string GroupName(gid_t group) override {
        const auto it = std::find_if(named.begin(), named.end(),
                                     [&](const auto& entry) { return entry.second == group; });
        return it != named.end() ? it->first : "";
    }

private:
    std::string m_dev;
};

// What the last check found missing, one "half nodes... @group;" per half;
// empty when it passed.
std::string Missing(CScriptedRights& check) {
    std::string text;
    check.Check();
    for (const Tolvane::Linux::MissingRight& half : check.Missing()) {
        text += half.disks ? "disks" : "ports";
        for (const std::string& node : half.nodes) {
            text += " " + node.substr(node.rfind('/') + 1);
        }
        text += " @" + half.group + ";";
    }
    return text;
}

}  // namespace

TEST(LinuxRights, PresentNodesMustBeReadWriteAndAbsentHalvesAreJudgedByGroup) {
    TempTree t;
    t.Dir("dev");
    CScriptedRights check(t);
    check.named = {{"dialout", 20}};  // a system without the group "disk"
    check.groups = {20, 6};
    EXPECT_EQ(Missing(check), "disks @disk;");
    check.named["disk"] = 6;
    EXPECT_EQ(Missing(check), "");
    check.groups = {};
    EXPECT_EQ(Missing(check), "ports @dialout;disks @disk;");

    AddUsbSerial(t, "1-2", "04d8\n", "e6b2\n", {"ttyACM0", "ttyACM1"});
    t.Link("dev/ttyACM0", "/dev/null");  // ports are character devices
    t.Link("dev/ttyACM1", "/dev/null");
    t.Link("devices/usb2/subsystem", "../../bus/usb");
    AddScsiDevice(t, "devices/usb2/2-1", "6:0:0:0", "0\n", "sg2");
    AddScsiDevice(t, "devices/usb2/2-1", "6:0:0:1", "0\n", nullptr);  // no node, nothing to open
    t.File("dev/sg2", "");
    struct stat sg2 {};
    struct stat null {};
    ASSERT_EQ(stat(t.Path("dev/sg2").c_str(), &sg2) | stat("/dev/null", &null), 0);
    check.readWrite = {"ttyACM0", "ttyACM1", "sg2"};
    EXPECT_EQ(Missing(check), "");
    check.readWrite = {"ttyACM0", "sg2"};  // one port short: its group (read-write) would do
    EXPECT_EQ(Missing(check), "ports ttyACM1 @" + std::to_string(null.st_gid) + ";");
    EXPECT_NE(RightsMessage(check.Missing(), Tolvane::ELanguage::kEnglish)
                  .find("\n  " + t.Path("dev/ttyACM1") + ": Permission denied\n"),
              std::string::npos);
    check.readWrite = {"ttyACM0", "ttyACM1"};
    check.groups = {sg2.st_gid};  // the group does not stand in for a present node
    EXPECT_EQ(Missing(check), "disks sg2 @disk;");  // nor is it named: it may only read
    check.root = true;
    EXPECT_EQ(Missing(check), "");

    // The normal state: the ports present, no USB disk with a node, and sg
    // nodes whose lowest (not the first by name) decides the disk half.
    check.root = false;
    std::filesystem::remove(t.Path("bus/scsi/devices/6:0:0:0"));
    t.File("dev/sg10", "");
    if (chown(t.Path("dev/sg2").c_str(), static_cast<uid_t>(-1), 4242) != 0 ||
        chown(t.Path("dev/sg10").c_str(), static_cast<uid_t>(-1), 4343) != 0) {
        GTEST_SKIP() << "needs to give files other groups";
    }
    check.named = {{"disk", 4343}, {"lp", 4242}};
    check.groups = {4343};
    EXPECT_EQ(Missing(check), "disks @lp;");
    check.groups = {4242};
    EXPECT_EQ(Missing(check), "");
}
