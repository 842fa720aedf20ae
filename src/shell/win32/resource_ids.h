// Identifiers of the Windows program's resources (tessary.rc) and controls.
// Plain macros: the resource compiler reads this file too.
#pragma once

#define IDS_APP_TITLE 103
#define IDS_WINDOW_CLASS 109
#define IDI_TESSARY 107
#define IDI_SMALL 108

#define IDD_ENTER_CODE 130
#define IDD_HELP 133
#define IDD_ABOUT 139

#define IDC_CODE_EDIT 1000
#define IDC_HELP_TEXT 1005
#define IDC_ABOUT_VERSION 1010
