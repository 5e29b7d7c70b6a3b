// Identifiers of the main dialog's controls.
#ifndef NOTARIX_RESOURCE_H
#define NOTARIX_RESOURCE_H

#define IDD_MAIN_DIALOG 129
#define IDD_ABOUT_DIALOG 103
#define IDC_SELECT_KEY 1001
#define IDC_KEY_PATH 1002
#define IDC_VERIFY_LIST 1003
#define IDC_SINGLE_VERIFY 1004
#define IDC_MULTIPLE_VERIFY 1005
#define IDC_PROGRESS 1006
#define IDC_STATUS 1007

#endif
