// The agent's resources: its icon and the settings window's controls.
#pragma once

#define IDI_AGENT 1
#define IDD_SETTINGS 100
#define IDC_LISTEN_ALL 1001
#define IDC_LISTEN_ASK 1002
#define IDC_LISTEN_OFF 1003
#define IDC_ALLOWED 1004
#define IDC_REMOVE 1005
#define IDC_SOURCE 1006
#define IDC_QUALITY 1007
#define IDC_PLAYLIST 1008
#define IDC_WHERE 1009
