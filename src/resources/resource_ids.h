// Resource ids shared by the resource script and the program.
#pragma once

#define IDD_ABOUTBOX 103
#define IDI_VEXOR2 107
#define IDI_SMALL 108
#define IDS_APP_TITLE 109
#define IDR_TRAYMENU 109
#define IDI_TRAY 129
#define IDB_LOGO 135

// Tray menu commands. Recognised by id: they are not in menu order.
#define IDM_ABOUT 32771
#define IDM_SPACE 32772
#define IDM_ENTER 32773
#define IDM_SCHICK 32774
#define IDM_KODAK 32775
#define IDM_SIDEXIS 32776
#define IDM_EXIT 32777
#define IDM_CUSTOM 32778
#define IDM_CDXVIEW 32780
#define IDM_JOYSTICK 32781
#define IDM_ALTF_ALTS 32788
