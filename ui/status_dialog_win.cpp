#include "ui/status_dialog_win.h"

#include <commctrl.h>

#include <string>
#include <utility>

#include "config/message_keys.h"
#include "platform/window_services_win.h"
#include "resource.h"

CStatusDlg::CStatusDlg(HWND parent, MessageLookup messages)
    : CDialog(IDD_STATUS, parent), m_messages(std::move(messages)) {}

BOOL CStatusDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    std::string text = m_messages ? m_messages(message_key::kStatus) : std::string();
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
