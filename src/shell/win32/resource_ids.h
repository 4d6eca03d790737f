// Numeric identifiers shared by res/keyloom.rc and the code. Plain macros: windres reads this file.
#pragma once

// Main window controls (1000-1099).
#define IDC_BTN_ABOUT 1001
#define IDC_BTN_NETWORK 1002
#define IDC_BTN_OPTIONS 1003
#define IDC_LBL_FIND 1004
#define IDC_EDT_FIND 1005
#define IDC_BTN_SEARCH 1006
#define IDC_BTN_REPLACE 1007
#define IDC_LBL_REPLACE 1008
#define IDC_EDT_REPLACE 1009
#define IDC_BTN_PAUSE 1010
#define IDC_BTN_CLOSE 1011
#define IDC_LBL_KEYS 1012
#define IDC_CMB_KEYS 1013
#define IDC_LBL_TYPE 1014
#define IDC_CMB_TYPE 1015
#define IDC_LBL_BITS 1016
#define IDC_CMB_SCAN_METHOD 1017
#define IDC_CHK_VALUES 1018
#define IDC_CHK_NAMES 1019
#define IDC_CHK_TREE 1020
#define IDC_CHK_CASE 1021
#define IDC_CHK_REG_UNDO 1022
#define IDC_LST_STATUS 1023
#define IDC_LST_KEYS 1024
#define IDC_STS_BAR 1025
#define IDC_CMB_MODE 1026
#define IDC_BTN_FILTERS 1027

// The Key List's pop-up menu (2000-2099).
#define IDR_KEYLIST_MENU 2000
#define IDM_EDIT 2001
#define IDM_RENAME 2002
#define IDM_OPEN_REGEDIT 2003
#define IDM_DELETE 2004
#define IDM_SAVE_CSV 2005
#define IDM_SAVE_REG 2007
#define IDM_REPLACE_SELECTED 2008
// Position of "&Save List to.." in the pop-up menu.
#define KEYLIST_MENU_SAVE_POS 5

// About box (3000-3099).
#define IDD_ABOUT 3000
#define IDC_ABOUT_HEADING 3001
#define IDC_ABOUT_VERSION 3002
#define IDC_ABOUT_OS 3003

// Key-name warning (3100-3199).
#define IDD_TREE_WARN 3100
#define IDC_WARN_LINE1 3101
#define IDC_WARN_LINE2 3102
#define IDC_WARN_LINE3 3103
#define IDC_WARN_LINE4 3104
#define IDC_WARN_LINE5 3105
#define IDC_WARN_DONT_SHOW 3106

// Please-wait window (3200-3299).
#define IDD_PLEASE_WAIT 3200
#define IDC_WAIT_TITLE 3201
#define IDC_WAIT_TEXT 3202

// Network Machine dialog (3600-3699); its buttons are IDOK (Connect) and IDCANCEL (Cancel).
#define IDD_NET_MACHINE 3600
#define IDC_NET_MACHINE_LABEL 3601
#define IDC_EDT_NET_MACHINE 3602
#define IDC_STS_WAIT 3603

// Value editors: TfrmEditReg, TfrmEditDword, TfrmMultiEdit (3300-3599). Their buttons are IDOK
// ("&Accept") and IDCANCEL ("&Cancel").
#define IDD_EDIT_REG 3300
#define IDC_EDIT_KEY_CAPTION 3301
#define IDC_EDIT_KEY 3302
#define IDC_EDIT_VALUE 3303
#define IDD_EDIT_DWORD 3400
#define IDC_DWORD_KEY_CAPTION 3401
#define IDC_DWORD_KEY 3402
#define IDC_DWORD_CONTENTS 3403
#define IDC_DWORD_VALUE 3404
#define IDC_DWORD_BASE 3405
#define IDC_DWORD_HEX 3406
#define IDC_DWORD_DEC 3407
#define IDC_DWORD_STATUS 3408
#define IDD_MULTI_EDIT 3500
#define IDC_MULTI_TEXT 3501

// Options dialog (3700-3899). A page's controls are numbered from 3710 + 10 * its index.
#define IDD_OPTIONS 3700
#define IDC_OPT_PAGES 3701
#define IDC_OPT_FIRST_PAGE_ID 3710
#define IDC_OPT_PAGE_ID_STEP 10
// "&Undo"
#define IDC_OPT_LBL_UNDO_DIR 3710
#define IDC_OPT_EDT_UNDO_DIR 3711
#define IDC_OPT_BTN_BROWSE 3712
#define IDC_OPT_LBL_DEFAULT_UNDO 3713
#define IDC_OPT_CMB_DEFAULT_UNDO 3714
// "U&ndo File Options"
#define IDC_OPT_CHK_SA_UNDO 3720
#define IDC_OPT_CHK_SM_UNDO 3721
#define IDC_OPT_CHK_UNDO_EDT 3722
#define IDC_OPT_CHK_UNDO_DEL 3723
#define IDC_OPT_CHK_UNDO_REN 3724
// "&Search"
#define IDC_OPT_CHK_ENABLE_DELETE 3730
#define IDC_OPT_CHK_WHOLE_NUMBERS 3731
#define IDC_OPT_CHK_REG_ERRORS 3732
// "&Misc"
#define IDC_OPT_CHK_AUTO_START 3740
#define IDC_OPT_CHK_AUTO_CLOSE 3741
#define IDC_OPT_CHK_AUTO_HIDE 3742
#define IDC_OPT_CHK_UPDATE_INI 3743
#define IDC_OPT_CHK_WARN 3744
#define IDC_OPT_CHK_SHOW_PERM_ERRORS 3745
// "&Backup/Restore"
#define IDC_OPT_LBL_ROOT 3750
#define IDC_OPT_CMB_KEY_ROOT_LIST 3751
#define IDC_OPT_BTN_BACKUP 3752
#define IDC_OPT_BTN_RESTORE 3753
#define IDC_OPT_BTN_REPLACE 3754
#define IDC_OPT_BTN_LOAD 3755
#define IDC_OPT_BTN_UNLOAD 3756
// "Logging"
#define IDC_OPT_LBL_LOGGING 3760
#define IDC_OPT_CMB_LOGGING_LEVEL 3761
#define IDC_OPT_LBL_LOG_LEVEL_DETAIL 3762
#define IDC_OPT_LAST_PAGE_ID 3769

// Key List export and log save (2100-2149): the status log's pop-up menu, the export's timer.
#define IDR_STATUS_MENU 2100
#define IDM_SAVE_LOG 2101
#define IDT_EXPORT_PROGRESS 2102

// ---- "Undo a run..." (the status log's menu and Ctrl+Z) and its dialog ----
#define IDD_UNDO_RUN 3950
#define IDC_UNDO_LBL_RUNS 3951
#define IDC_UNDO_LST_RUNS 3952
#define IDC_UNDO_LBL_RESTORE 3953
#define IDC_UNDO_LST_RESTORE 3954
#define IDC_UNDO_LBL_RESULTS 3955
#define IDC_UNDO_LST_RESULTS 3956
#define IDC_UNDO_BTN_UNDO 3957
#define IDM_UNDO_RUN 3960

// The Key List's filter field and its copy, filter and selection commands (2150-2199).
#define IDC_EDT_FILTER 2150
#define IDM_COPY 2151
#define IDM_COPY_KEY_PATH 2152
#define IDM_FILTER 2153
#define IDM_SELECT_ALL 2154

// The Filters dialog (4000-4099); its buttons are IDOK and IDCANCEL.
#define IDD_FILTERS 4000
#define IDC_FLT_LBL_TIMES 4001
#define IDC_FLT_LBL_AFTER 4002
#define IDC_FLT_EDT_AFTER 4003
#define IDC_FLT_LBL_BEFORE 4004
#define IDC_FLT_EDT_BEFORE 4005
#define IDC_FLT_LBL_SIZES 4006
#define IDC_FLT_LBL_MIN 4007
#define IDC_FLT_EDT_MIN 4008
#define IDC_FLT_LBL_MAX 4009
#define IDC_FLT_EDT_MAX 4010
#define IDC_FLT_LBL_EXCLUDED 4011
#define IDC_FLT_EDT_EXCLUDED 4012
#define IDC_FLT_BTN_LOAD 4013
#define IDC_FLT_BTN_CLEAR 4014
