#include "ui/status_dialog.h"

#include <string>

#include "config/update_context.h"
#include "resource.h"

CStatusDlg::CStatusDlg(HWND parent) : CDialog(IDD_STATUS, parent) {}

BOOL CStatusDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    std::string text;
    if (g_pUpdateContext != nullptr) g_pUpdateContext->LookupMessage("status", text);
    SetDlgItemText(IDC_STATUS_TEXT, text.c_str());
    return TRUE;
}
