// Identifiers of the program's resources, controls and commands.
#ifndef NOTARIX_RESOURCE_H
#define NOTARIX_RESOURCE_H

#define IDS_APP_TITLE 102
#define IDD_ABOUT_DIALOG 103
#define IDI_SMALL 108
#define IDD_MAIN_DIALOG 129
#define IDB_BANNER 130

#define IDC_SELECT_KEY 1001
#define IDC_KEY_PATH 1002
#define IDC_VERIFY_LIST 1003
#define IDC_SINGLE_VERIFY 1004
#define IDC_MULTIPLE_VERIFY 1005
#define IDC_PROGRESS 1006
#define IDC_STATUS 1007
#define IDC_STATUS_GROUP 1008
#define IDC_LIST_GROUP 1009
#define IDC_KEY_GROUP 1010
#define IDC_VERSION 1011
#define IDC_STATIC (-1)

// System menu and the list's pop-up menu.
#define IDM_ABOUT 8001
#define IDM_SET_LOG 8002
#define IDM_DELETE_ROWS 8003
#define IDM_CLEAR_ROWS 8004

// Steps the progress bar while a folder is filtered.
#define IDT_FILTERING 33

#endif
