#include "app/tolvane_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "dialog_harness.h"

namespace Tolvane {
namespace {

using Log = std::vector<std::string>;

TEST(TolvaneDlg, OpensWithAboutItemIconsTickedBoxAndFieldAtZero) {
    CRun run;
    EXPECT_EQ(run.initResult, TRUE);
    EXPECT_EQ(run.view.log,
              (Log{"checked", "separator", "item 16 " + std::string(Text::kAboutMenuItem.japanese),
                   "big icon", "small icon"}));
    EXPECT_EQ(run.edit.Text(), "0");
    EXPECT_TRUE(run.edit.HasSpin() && run.edit.imeDetached);
    EXPECT_TRUE(run.boxes.shown.empty());
    EXPECT_FALSE(run.dlg.IsEnded());
    // No About item without a system menu or without its text.
    for (const auto& prepare :
         {std::function<void(CRecordingView&)>([](CRecordingView& v) { v.systemMenu = false; }),
          std::function<void(CRecordingView&)>([](CRecordingView& v) { v.aboutText.clear(); })}) {
        CRun bare({}, prepare);
        EXPECT_EQ(bare.view.log, (Log{"checked", "big icon", "small icon"}));
    }
}

TEST(TolvaneDlg, WithoutAdministratorRightsItSaysSoOnceAndEndsWithIdOk) {
    Sim::VirtualPcConfig config;
    config.administrator = false;
    CRun run(config);
    EXPECT_EQ(run.boxes.shown, Texts{Text::kNeedAdmin.japanese});
    EXPECT_EQ(run.boxes.types, std::vector<UINT>{MB_OK | MB_ICONEXCLAMATION});
    EXPECT_TRUE(run.dlg.IsEnded());
    EXPECT_EQ(run.dlg.Result(), IDOK);
    EXPECT_EQ(run.view.log.back(), "end 1");
    EXPECT_EQ(run.pc.Devices().Counts().getClassDevs, 0u) << "nothing else is tried";
    EXPECT_EQ(run.pc.LeakReport(), "");
}

TEST(TolvaneDlg, OperationsRunInsideAWaitAndOnlyQuitEndsTheDialog) {
    CRun run;
    run.view.log.clear();
    for (UINT button : {IDOK, IDC_NORMAL}) {
        run.Press(button);
        EXPECT_FALSE(run.dlg.IsEnded());
    }
    EXPECT_EQ(run.view.log, (Log{"wait", "done", "wait", "done"}));
    EXPECT_EQ(run.boxes.shown.back(), Text::kReturnedToNormal.japanese);
    EXPECT_FALSE(run.dlg.OnCommand(IDC_READONLY));
    EXPECT_TRUE(run.dlg.OnCommand(IDCANCEL));
    EXPECT_EQ(run.dlg.Result(), IDCANCEL);
    run.dlg.OnCancel();
    EXPECT_EQ(std::count(run.view.log.begin(), run.view.log.end(), "end 2"), 1);
}

// The low four bits of a system command are the system's; SC_CLOSE, SC_MINIMIZE
// and the rest go to the default handling.
TEST(TolvaneDlg, SystemCommandsOnlyTheAboutItemIsTheDialogs) {
    CRun run;
    EXPECT_EQ((std::vector<bool>{run.dlg.OnSysCommand(IDM_ABOUTBOX),
                                 run.dlg.OnSysCommand(IDM_ABOUTBOX | 0x000F),
                                 run.dlg.OnSysCommand(0xF060), run.dlg.OnSysCommand(0xF020),
                                 run.dlg.OnSysCommand(0x0020)}),
              (std::vector<bool>{true, true, false, false, false}));
    EXPECT_EQ(std::count(run.view.log.begin(), run.view.log.end(), "about"), 2);
}

TEST(TolvaneDlg, MinimisedIconIsCentredWithTruncatingDivision) {
    EXPECT_EQ(CTolvaneDlg::IconPosition(100, 60, 32, 32), (CFieldPoint{34, 14}));
    EXPECT_EQ(CTolvaneDlg::IconPosition(33, 33, 32, 32), (CFieldPoint{1, 1}));
    // Smaller than the icon: the offsets go negative and truncate towards 0.
    EXPECT_EQ(CTolvaneDlg::IconPosition(20, 10, 32, 32), (CFieldPoint{-5, -10}));
}

}  // namespace
}  // namespace Tolvane
