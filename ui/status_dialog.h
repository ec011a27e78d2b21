// The status window shown while the content is copied: the application icon
// and the configured "status" text, no title bar, no taskbar button.
#pragma once

#include "platform/framework.h"

class CStatusDlg : public CDialog {
public:
    explicit CStatusDlg(HWND parent);
    const char* GetRuntimeClassName() const override { return "CStatusDlg"; }
    BOOL OnInitDialog() override;
};
