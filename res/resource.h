// Resource ids shared by RIZezuvu.rc and the code.
#pragma once

#define IDI_APP 129
#define IDD_MSG 130
#define IDD_STATUS 131

#define IDC_MSG_TEXT 1000
#define IDC_STATUS_TEXT 1001
#define IDC_DOWNLOAD 1002
#define IDC_STATUS_PROGRESS 1003
#define ID_HELP 0xE146
