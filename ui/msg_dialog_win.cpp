#include "ui/msg_dialog_win.h"

#include <utility>

#include "config/message_keys.h"
#include "platform/window_services_win.h"
#include "resource.h"

const MessageMapEntry CMsg::s_entries[] = {
    {BN_CLICKED, IDC_DOWNLOAD, static_cast<void (CDialog::*)()>(&CMsg::OnDownloadClicked)},
    {BN_CLICKED, ID_HELP, static_cast<void (CDialog::*)()>(&CMsg::OnHelpClicked)},
};
const MessageMap CMsg::s_messageMap = {nullptr, s_entries, sizeof s_entries / sizeof s_entries[0]};

CMsg::CMsg(HWND parent, BOOL showDownload, BOOL showHelp, MessageLookup messages)
    : CDialog(IDD_MSG, parent),
      m_bShowDownload(showDownload),
      m_bShowHelp(showHelp),
      m_hIcon(platform::LoadProgramIcon(IDI_APP)),
      m_messages(std::move(messages)) {}

const MessageMap* CMsg::GetMessageMap() const { return &s_messageMap; }

std::string CMsg::Text(const char* key) const {
    return m_messages ? m_messages(key) : std::string();
}

BOOL CMsg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    SetActiveWindow();
    SetForegroundWindow();
    MakeTopmostWhereItIs();
    CenterWindow();
    SetDlgItemText(IDC_MSG_TEXT, m_strText.c_str());
    SetWindowText(m_strCaption.c_str());
    ChooseButtons();
    platform::FitDialogIcons(m_hWnd, IDI_APP, m_fittedIcon);
    return TRUE;
}

void CMsg::OnDpiChanged() { platform::FitDialogIcons(m_hWnd, IDI_APP, m_fittedIcon); }

void CMsg::MakeTopmostWhereItIs() {
    RECT rect = {};
    GetWindowRect(&rect);
    SetWindowPos(HWND_TOPMOST, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_SHOWWINDOW);
}

// Download mode wins over help mode; a caption missing from the message table
// leaves a visible button without a caption.
void CMsg::ChooseButtons() {
    if (m_bShowDownload) {
        SetDlgItemText(IDC_DOWNLOAD, Text(message_key::kDownloadCaption).c_str());
        ShowDlgItem(IDC_DOWNLOAD, SW_SHOW);
        ShowDlgItem(ID_HELP, SW_HIDE);
    } else if (m_bShowHelp) {
        SetDlgItemText(ID_HELP, Text(message_key::kHelpCaption).c_str());
        ShowDlgItem(IDC_DOWNLOAD, SW_HIDE);
        ShowDlgItem(ID_HELP, SW_SHOW);
    } else {
        ShowDlgItem(IDC_DOWNLOAD, SW_HIDE);
        ShowDlgItem(ID_HELP, SW_HIDE);
    }
}

void CMsg::OnDownloadClicked() { OpenLinkAndClose(m_bShowDownload, message_key::kDownloadLink); }

void CMsg::OnHelpClicked() { OpenLinkAndClose(m_bShowHelp, message_key::kHelpLink); }

void CMsg::OpenLinkAndClose(BOOL enabled, const char* linkKey) {
    if (enabled) platform::ShellOpen(Text(linkKey).c_str(), SW_HIDE);
    CDialog::OnOK();
}
