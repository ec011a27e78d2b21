// The status window shown while the content is copied: the application icon,
// the configured "status" text and a progress bar; no title bar, no taskbar
// button, nothing that takes input.
#pragma once

#include "platform/framework_win.h"
#include "platform/handles_win.h"
#include "ui/message_lookup.h"

class CStatusDlg : public CDialog {
public:
    // The bar's range: the copy's progress in thousandths.
    static constexpr int kProgressRange = 1000;

    // The "status" text is looked up in `messages` as the window opens.
    CStatusDlg(HWND parent, MessageLookup messages);
    const char* GetRuntimeClassName() const override { return "CStatusDlg"; }
    BOOL OnInitDialog() override;
    // The window has no buttons; Enter, Escape, Alt+F4 and a close request
    // end nothing while the copy runs. The application destroys the window.
    void OnOK() override {}
    void OnCancel() override {}

    void OnDpiChanged() override;

    // Moves the bar to `thousandths` of its range (capped at the range).
    void SetProgress(int thousandths);

private:
    MessageLookup m_messages;
    platform::IconHandle m_icon;  // the icon drawn at the window's scale
};
