// The main dialog's logic on a freshly made virtual PC, driven as a user
// drives it: a field in memory, a check box, and message boxes that record
// what they show and answer every question from a script. The field's edit
// control records what the field asked of it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/memory_edit.h"
#include "app/tolvane_dlg.h"
#include "platform/sim/virtual_pc.h"
#include "tolvane_texts.h"

namespace Tolvane {

using Texts = std::vector<std::string>;

class CRecordingEdit : public CMemoryEdit {
public:
    int marginLeft = -1, marginRight = -1, focusRequests = 0, spinPos = 0;
    bool imeDetached = false, failSpin = false, readOnly = false, spinEnabled = true,
         spinHidden = false;
    std::vector<UINT> timers;  // id * 1000 + period when started, id when stopped
    std::vector<bool> redraw;
    CSpinSetup spinSetup;
    std::vector<std::pair<CFieldPoint, bool>> presses;

    void SetMargins(int left, int right) override { marginLeft = left, marginRight = right; }
    void StartTimer(UINT id, UINT ms) override { timers.push_back(id * 1000 + ms); }
    void StopTimer(UINT id) override { timers.push_back(id); }
    bool IsSpinVisible() const override { return !spinHidden && CMemoryEdit::IsSpinVisible(); }
    void SetFocus() override { ++focusRequests, CMemoryEdit::SetFocus(); }
    void DetachInputMethod() override { imeDetached = true; }
    bool IsReadOnly() const override { return readOnly; }
    void SetRedraw(bool on) override { redraw.push_back(on); }
    void EnableSpin(bool enable) override { spinEnabled = enable; }
    void SetSpinPos(int pos) override { spinPos = pos; }
    void PressSpin(CFieldPoint at, bool down) override { presses.push_back({at, down}); }
    bool CreateSpin(const CSpinSetup& setup) override {
        spinSetup = setup;
        return !failSpin && CMemoryEdit::CreateSpin(setup);
    }
};

class CScriptedBoxes : public CMessageBoxes {
public:
    Texts shown;
    std::vector<UINT> types;
    int answer = IDYES;                    // to every question
    std::function<void()> duringQuestion;  // what happens while one is open
    int MessageBox(const char* text, UINT type) override {
        shown.emplace_back(text);
        types.push_back(type);
        const bool question = (type & MB_TYPEMASK) == MB_YESNO;
        if (question && duringQuestion) {
            duringQuestion();
        }
        return question ? answer : IDOK;
    }
};

// Logs what the dialog asks of its window, in order.
class CRecordingView : public CDialogView {
public:
    std::vector<std::string> log;
    bool systemMenu = true;
    std::string aboutText = Text::kAboutMenuItem.japanese;
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

class CRun {
public:
    using Millis = Sim::CVirtualPC::Millis;

    explicit CRun(Sim::VirtualPcConfig config = {},
                  const std::function<void(CRecordingView&)>& prepare = nullptr)
        : pc(config), dlg(pc, boxes, view, edit) {
        edit.Bind(&dlg.TargetField());
        if (prepare) {
            prepare(view);
        }
        initResult = dlg.OnInitDialog();
    }

    // The user fills the field (null: leaves it) and the box (-1: leaves it)
    // and presses IDOK; returns the virtual time the press took.
    Millis Switch(const char* field = "1", int readOnly = 1) {
        if (field != nullptr) {
            edit.SelectAll();
            edit.Paste(field);
        }
        if (readOnly >= 0) {
            view.checked = readOnly != 0;
        }
        return Press(IDOK);
    }
    Millis Press(UINT button) {
        boxes.shown.clear();
        boxes.types.clear();
        const Millis start = pc.Clock().Now();
        dlg.OnCommand(button);
        return pc.Clock().Now() - start;
    }

    Sim::CVirtualPC pc;
    CScriptedBoxes boxes;
    CRecordingView view;
    CRecordingEdit edit;
    CTolvaneDlg dlg;
    BOOL initResult = FALSE;
};

}  // namespace Tolvane
