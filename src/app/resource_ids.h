// Resource and control identifiers, shared by the dialog's logic and the
// Windows resource script (so plain #defines that windres can read).
#pragma once

#define IDR_MAINFRAME 128
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN_DIALOG 102
#define IDM_ABOUTBOX 0x0010
#define IDC_TARGET_ID 1000
#define IDC_NORMAL 1001
#define IDC_READONLY 1002
#define IDC_ABOUT_ICON 1003
#define IDC_ABOUT_VERSION 1004
#define IDC_ABOUT_NOTE 1005
