#include "app/memory_edit.h"

#include <algorithm>

namespace Tolvane {

bool CMemoryEdit::Type(UINT ch) {
    if (m_pField == nullptr || !m_pField->OnChar(ch, CFilterEdit::kTypedChar)) {
        return false;
    }
    if (ch == 8) {
        if (m_sel.start == m_sel.end && m_sel.start > 0) {
            --m_sel.start;
        }
        Insert("");
    } else if (ch == 22) {
        m_pField->OnPaste();
    } else if (ch >= 32 && ch <= 0xFF) {
        Insert(std::string(1, static_cast<char>(ch)));
    }
    return true;
}

void CMemoryEdit::Paste(const std::string& text) {
    if (m_pField == nullptr) {
        return;
    }
    m_clipboard = text;
    m_pField->OnPaste();
    m_clipboard.clear();
}

void CMemoryEdit::SetText(const std::string& text) {
    m_text = text;
    m_sel = {0, 0};
}

void CMemoryEdit::SetSel(int start, int end) {
    m_sel = {Fit(start), Fit(end)};
}

void CMemoryEdit::SetFocus() {
    if (onFocus) {
        onFocus();
    }
}

void CMemoryEdit::Beep(UINT type) {
    m_beeps.push_back(type);
    if (onBeep) {
        onBeep(type);
    }
}

bool CMemoryEdit::CreateSpin(const CSpinSetup& setup) {
    m_spin = true;
    m_spinRect = {setup.rect.right - m_spinWidth, setup.rect.top, setup.rect.right,
                  setup.rect.bottom};
    return true;
}

int CMemoryEdit::Fit(int position) const {
    return std::clamp(position, 0, static_cast<int>(m_text.size()));
}

void CMemoryEdit::Insert(const std::string& text) {
    const int start = Fit(std::min(m_sel.start, m_sel.end));
    const int end = Fit(std::max(m_sel.start, m_sel.end));
    m_text.replace(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start), text);
    m_sel.start = m_sel.end = start + static_cast<int>(text.size());
    // A real edit control reports its own change; the field's update check
    // runs on that report.
    if (m_pField != nullptr) {
        m_pField->OnNotification(EN_UPDATE);
    }
}

}  // namespace Tolvane
