// Resource and command identifiers, shared by the resource script and the code.
#pragma once

#define IDD_ABOUT 100
#define IDD_OFFSETS 102
#define IDD_HELP 133

#define IDR_MAINICON 128
#define IDI_MISALIGNED 131
#define IDI_UNKNOWN 132

#define IDC_LIST 1000
#define IDC_COPY 1003

#define IDS_ABOUT 101
#define IDS_COL_DRIVE 102
#define IDS_COL_DRVNO 103
#define IDS_COL_NAME 104
#define IDS_COL_OFFSET 105
#define IDS_TITLE 106
#define IDS_BAD_OS 107
#define IDS_NO_ACCESS 108
#define IDS_TIP_ALIGNED 109
#define IDS_TIP_MISALIGNED 110
#define IDS_TIP_UNKNOWN 111
#define IDS_DEVINFO 112
#define IDS_OK 113

// System-menu commands: not resources, and unrelated to the string ids of equal value.
#define IDM_ABOUT 0x0010
#define IDM_DEVICEINFO 101
