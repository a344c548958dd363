#pragma once
// Resource ids of the Windows build, read by both the C++ code and the resource compiler.

#define IDR_MAINFRAME 128
#define IDB_BANNER 130
#define IDS_TITLE IDR_MAINFRAME
#define IDD_ABOUTBOX 100
#define IDC_ABOUT_VERSION 1000
#define IDC_ABOUT_COPYRIGHT 1001
