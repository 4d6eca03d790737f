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

// The Key List's pop-up menu (2000-2099).
#define IDR_KEYLIST_MENU 2000
#define IDM_EDIT 2001
#define IDM_RENAME 2002
#define IDM_OPEN_REGEDIT 2003
#define IDM_DELETE 2004
#define IDM_SAVE_CSV 2005
#define IDM_SAVE_REG 2007
// Position of "&Save List to.." in the pop-up menu.
#define KEYLIST_MENU_SAVE_POS 4

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

// Key List export and log save (2100-2149): the status log's pop-up menu, the export's timer.
#define IDR_STATUS_MENU 2100
#define IDM_SAVE_LOG 2101
#define IDT_EXPORT_PROGRESS 2102
