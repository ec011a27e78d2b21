// The message dialog: a text beside the application icon, OK, and either a
// Download or a Help button whose caption and link come from the message table.
#pragma once

#include <string>

#include "platform/framework_win.h"
#include "platform/handles_win.h"
#include "ui/message_lookup.h"

class CMsg : public CDialog {
public:
    // The buttons' captions and links are looked up in `messages`.
    CMsg(HWND parent, BOOL showDownload, BOOL showHelp, MessageLookup messages);
    const char* GetRuntimeClassName() const override { return "CMsg"; }
    const MessageMap* GetMessageMap() const override;
    BOOL OnInitDialog() override;
    void OnDpiChanged() override;

    std::string m_strText;
    std::string m_strCaption;
    BOOL m_bShowDownload;
    BOOL m_bShowHelp;
    HICON m_hIcon;  // shared icon of the program's resources; never freed

private:
    void OnDownloadClicked();
    void OnHelpClicked();
    void MakeTopmostWhereItIs();
    void ChooseButtons();
    // Hands the link under `linkKey` to the shell, then ends with OK.
    void OpenLinkAndClose(BOOL enabled, const char* linkKey);
    // The text under `key`; empty when there is none (or no lookup).
    std::string Text(const char* key) const;

    MessageLookup m_messages;
    platform::IconHandle m_fittedIcon;  // the icon beside the text, at the window's scale

    static const MessageMapEntry s_entries[];
    static const MessageMap s_messageMap;
};
