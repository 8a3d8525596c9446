// Resource ids shared by the resource script and the program.
#pragma once

#define IDI_VEXOR2 107
#define IDI_SMALL 108
#define IDS_APP_TITLE 109
#define IDI_TRAY 129
