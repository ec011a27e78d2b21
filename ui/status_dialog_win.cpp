#include "ui/status_dialog_win.h"

#include <commctrl.h>

#include <string>

#include "config/message_keys.h"
#include "config/update_context.h"
#include "platform/window_services_win.h"
#include "resource.h"

CStatusDlg::CStatusDlg(HWND parent) : CDialog(IDD_STATUS, parent) {}

BOOL CStatusDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    std::string text;
    if (g_pUpdateContext != nullptr) g_pUpdateContext->LookupMessage(message_key::kStatus, text);
    SetDlgItemText(IDC_STATUS_TEXT, text.c_str());
    ::SendMessageA(GetDlgItem(IDC_STATUS_PROGRESS), PBM_SETRANGE32, 0, kProgressRange);
    platform::FitDialogIcons(m_hWnd, IDI_APP, m_icon);
    return TRUE;
}

void CStatusDlg::OnDpiChanged() { platform::FitDialogIcons(m_hWnd, IDI_APP, m_icon); }

void CStatusDlg::SetProgress(int thousandths) {
    if (thousandths > kProgressRange) thousandths = kProgressRange;
    if (thousandths < 0) thousandths = 0;
    ::SendMessageA(GetDlgItem(IDC_STATUS_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(thousandths),
                   0);
}
