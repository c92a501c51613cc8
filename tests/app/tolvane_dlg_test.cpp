#include "app/tolvane_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/memory_edit.h"
#include "platform/sim/sim_disks.h"
#include "platform/sim/sim_serial.h"
#include "tolvane_texts.h"

namespace Tolvane {
namespace {

// A host with no adapter at all; these tests are about the dialog, not the
// operations (those run end to end on the virtual PC).
class CEmptyHost : public COperationHost {
public:
    bool admin = true;
    int finds = 0;
    Sim::CVirtualClock clock;
    Sim::CSimSerial serial{clock};
    Sim::CSimDisks disks{clock};

    ZRK::CSharedArray<WORD> FindUsbComPorts(WORD, WORD) override {
        ++finds;
        return ZRK::CSharedArray<WORD>();
    }
    ZRK::CSerialApi& Serial() override { return serial; }
    ZRK::CRawDiskApi& RawDisk() override { return disks; }
    void Sleep(DWORD ms) override { clock.Advance(ms); }
    bool HasAdministratorRights() override { return admin; }
};

class CRecordingBoxes : public CMessageBoxes {
public:
    std::vector<std::pair<std::string, UINT>> shown;
    int answer = IDNO;
    int MessageBox(const char* text, UINT type) override {
        shown.emplace_back(text, type);
        return (type & MB_TYPEMASK) == MB_YESNO ? answer : IDOK;
    }
};

// Logs what the dialog asks of its window, in order.
class CRecordingView : public CDialogView {
public:
    std::vector<std::string> log;
    bool systemMenu = true;
    std::string aboutText = Text::kAboutMenuItem;
    bool checked = false;

    bool HasSystemMenu() override { return systemMenu; }
    void AppendSystemMenuSeparator() override { log.push_back("separator"); }
    void AppendSystemMenuItem(UINT id, const std::string& text) override {
        log.push_back("item " + std::to_string(id) + " " + text);
    }
    std::string LoadString(UINT id) override { return id == IDS_ABOUTBOX ? aboutText : ""; }
    void SetIcon(bool big) override { log.push_back(big ? "big icon" : "small icon"); }
    bool IsReadOnlyChecked() override { return checked; }
    void SetReadOnlyChecked(bool c) override {
        checked = c;
        log.push_back(c ? "checked" : "unchecked");
    }
    void ShowAboutBox() override { log.push_back("about"); }
    void EndDialog(int result) override { log.push_back("end " + std::to_string(result)); }
    void BeginWait() override { log.push_back("wait"); }
    void EndWait() override { log.push_back("done"); }
};

class TolvaneDlgTest : public ::testing::Test {
protected:
    CEmptyHost host;
    CRecordingBoxes boxes;
    CRecordingView view;
    CMemoryEdit edit;
    CTolvaneDlg dlg{host, boxes, view, edit};

    void SetUp() override { edit.Bind(&dlg.TargetField()); }
};

TEST_F(TolvaneDlgTest, OpensWithAboutItemIconsTickedBoxAndFieldAtZero) {
    EXPECT_EQ(dlg.OnInitDialog(), TRUE);
    const std::vector<std::string> expected = {"checked", "separator",
                                               "item 16 " + std::string(Text::kAboutMenuItem),
                                               "big icon", "small icon"};
    EXPECT_EQ(view.log, expected);
    EXPECT_EQ(edit.Text(), "0");
    EXPECT_TRUE(edit.HasSpin());
    EXPECT_TRUE(edit.InputMethodDetached());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(dlg.IsEnded());
    // The field is bounded to the SCSI IDs 0..6.
    edit.SelectAll();
    edit.Type('9');
    EXPECT_EQ(edit.Text(), "6");
}

TEST_F(TolvaneDlgTest, NoAboutItemWithoutSystemMenuOrWithoutText) {
    view.systemMenu = false;
    dlg.OnInitDialog();
    EXPECT_EQ(std::count(view.log.begin(), view.log.end(), "separator"), 0);

    CRecordingView quiet;
    quiet.aboutText.clear();
    CMemoryEdit edit2;
    CTolvaneDlg dlg2{host, boxes, quiet, edit2};
    dlg2.OnInitDialog();
    EXPECT_EQ(std::count(quiet.log.begin(), quiet.log.end(), "separator"), 0);
    EXPECT_EQ(quiet.log.front(), "checked");
}

TEST_F(TolvaneDlgTest, WithoutAdministratorRightsItSaysSoOnceAndEndsWithIdOk) {
    host.admin = false;
    dlg.OnInitDialog();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].first, Text::kNeedAdmin);
    EXPECT_EQ(boxes.shown[0].second, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(dlg.Result(), IDOK);
    EXPECT_EQ(view.log.back(), "end 1");
    EXPECT_EQ(host.finds, 0) << "nothing else is tried";
}

TEST_F(TolvaneDlgTest, OkAndEnterRunTheSwitchButNeverEndTheDialog) {
    dlg.OnInitDialog();
    view.log.clear();
    EXPECT_TRUE(dlg.OnCommand(IDOK));
    EXPECT_FALSE(dlg.IsEnded());
    EXPECT_EQ(host.finds, 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].first, Text::kAdapterNotFoundMaybeMass);
    // The operation blocks the window, bracketed by the wait cursor.
    EXPECT_EQ(view.log, (std::vector<std::string>{"wait", "done"}));

    EXPECT_TRUE(dlg.OnCommand(IDC_NORMAL));
    EXPECT_FALSE(dlg.IsEnded());
    EXPECT_EQ(boxes.shown.back().first, Text::kAskReturnToNormal);
}

TEST_F(TolvaneDlgTest, QuitEndsWithCancelAndUnknownCommandsAreNotTheDialogs) {
    dlg.OnInitDialog();
    EXPECT_FALSE(dlg.OnCommand(1002));
    EXPECT_FALSE(dlg.IsEnded());
    EXPECT_TRUE(dlg.OnCommand(IDCANCEL));
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(dlg.Result(), IDCANCEL);
    // Ending twice reports once.
    dlg.OnCancel();
    EXPECT_EQ(std::count(view.log.begin(), view.log.end(), "end 2"), 1);
}

TEST_F(TolvaneDlgTest, SystemCommandsOnlyTheAboutItemIsTheDialogs) {
    EXPECT_TRUE(dlg.OnSysCommand(IDM_ABOUTBOX));
    EXPECT_TRUE(dlg.OnSysCommand(IDM_ABOUTBOX | 0x000F));  // low bits are the system's
    EXPECT_FALSE(dlg.OnSysCommand(0xF060));                // SC_CLOSE
    EXPECT_FALSE(dlg.OnSysCommand(0xF020));                // SC_MINIMIZE
    EXPECT_FALSE(dlg.OnSysCommand(0x0020));
    EXPECT_EQ(std::count(view.log.begin(), view.log.end(), "about"), 2);
}

TEST(TolvaneDlgIcon, CentredWithTruncatingDivision) {
    EXPECT_EQ(CTolvaneDlg::IconPosition(100, 60, 32, 32), (CFieldPoint{34, 14}));
    EXPECT_EQ(CTolvaneDlg::IconPosition(33, 33, 32, 32), (CFieldPoint{1, 1}));
    // Smaller than the icon: the offsets go negative and truncate towards 0.
    EXPECT_EQ(CTolvaneDlg::IconPosition(20, 10, 32, 32), (CFieldPoint{-5, -10}));
}

}  // namespace
}  // namespace Tolvane
