// Identifiers of gen_orvela's resources and of their controls.
#pragma once

#define IDD_BROWSER 112
#define IDR_BROWSER_ACCELERATORS 113
#define IDD_SELECT_COLUMNS 115
#define IDD_USER_GROUP 116

// The browser dialog.
#define IDC_PEER_LIST 1007
#define IDC_USER_GROUP_LABEL 1009
#define IDC_REFRESH 1011
#define IDC_USER_GROUP 1012

// "Select columns": one check box per column, in record order.
#define IDC_SHOW_COMPUTER 1010
#define IDC_SHOW_USER_NAME 1011
#define IDC_SHOW_TITLE 1012
#define IDC_SHOW_SHARED 1013

// "Change user group".
#define IDC_USER_GROUP_EDIT 1012

// Ctrl+Enter in the browser; nothing acts on it.
#define IDM_CTRL_ENTER 40001
