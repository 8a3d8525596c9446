// winsim: the HID client interface (hidsdi.h) and HID parser queries (hidpi.h) the program uses,
// with the SDK's record layouts (4-byte packing, no pointers: the sizes match the target's).
#pragma once

#include "winsim/win32.h"
#include "winsim/guid.h"

typedef BYTE BOOLEAN;
typedef BYTE UCHAR;
typedef uint16_t USHORT;
typedef USHORT* PUSHORT;
typedef ULONG* PULONG;
typedef void* PVOID;
typedef LONG NTSTATUS;
typedef USHORT USAGE;

typedef struct _HIDP_PREPARSED_DATA* PHIDP_PREPARSED_DATA;

enum HIDP_REPORT_TYPE { HidP_Input, HidP_Output, HidP_Feature };

#pragma pack(push, 4)
struct HIDD_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
};
typedef HIDD_ATTRIBUTES* PHIDD_ATTRIBUTES;

struct HIDP_CAPS {
    USAGE Usage;
    USAGE UsagePage;
    USHORT InputReportByteLength;
    USHORT OutputReportByteLength;
    USHORT FeatureReportByteLength;
    USHORT Reserved[17];
    USHORT NumberLinkCollectionNodes;
    USHORT NumberInputButtonCaps;
    USHORT NumberInputValueCaps;
    USHORT NumberInputDataIndices;
    USHORT NumberOutputButtonCaps;
    USHORT NumberOutputValueCaps;
    USHORT NumberOutputDataIndices;
    USHORT NumberFeatureButtonCaps;
    USHORT NumberFeatureValueCaps;
    USHORT NumberFeatureDataIndices;
};
typedef HIDP_CAPS* PHIDP_CAPS;

struct HIDP_RANGE {
    USAGE UsageMin, UsageMax;
    USHORT StringMin, StringMax;
    USHORT DesignatorMin, DesignatorMax;
    USHORT DataIndexMin, DataIndexMax;
};
struct HIDP_NOT_RANGE {
    USAGE Usage, Reserved1;
    USHORT StringIndex, Reserved2;
    USHORT DesignatorIndex, Reserved3;
    USHORT DataIndex, Reserved4;
};

struct HIDP_BUTTON_CAPS {
    USAGE UsagePage;
    UCHAR ReportID;
    BOOLEAN IsAlias;
    USHORT BitField;
    USHORT LinkCollection;
    USAGE LinkUsage;
    USAGE LinkUsagePage;
    BOOLEAN IsRange;
    BOOLEAN IsStringRange;
    BOOLEAN IsDesignatorRange;
    BOOLEAN IsAbsolute;
    ULONG Reserved[10];
    union {
        HIDP_RANGE Range;
        HIDP_NOT_RANGE NotRange;
    };
};
typedef HIDP_BUTTON_CAPS* PHIDP_BUTTON_CAPS;

struct HIDP_VALUE_CAPS {
    USAGE UsagePage;
    UCHAR ReportID;
    BOOLEAN IsAlias;
    USHORT BitField;
    USHORT LinkCollection;
    USAGE LinkUsage;
    USAGE LinkUsagePage;
    BOOLEAN IsRange;
    BOOLEAN IsStringRange;
    BOOLEAN IsDesignatorRange;
    BOOLEAN IsAbsolute;
    BOOLEAN HasNull;
    UCHAR Reserved;
    USHORT BitSize;
    USHORT ReportCount;
    USHORT Reserved2[5];
    ULONG UnitsExp;
    ULONG Units;
    LONG LogicalMin, LogicalMax;
    LONG PhysicalMin, PhysicalMax;
    union {
        HIDP_RANGE Range;
        HIDP_NOT_RANGE NotRange;
    };
};
typedef HIDP_VALUE_CAPS* PHIDP_VALUE_CAPS;
#pragma pack(pop)

#define HIDP_STATUS_SUCCESS ((NTSTATUS)0x00110000L)
#define HIDP_STATUS_INVALID_PREPARSED_DATA ((NTSTATUS)0xC0110001L)
#define HIDP_STATUS_INVALID_REPORT_TYPE ((NTSTATUS)0xC0110002L)
#define HIDP_STATUS_USAGE_NOT_FOUND ((NTSTATUS)0xC0110004L)
#define HIDP_STATUS_BUFFER_TOO_SMALL ((NTSTATUS)0xC0110007L)

void WINAPI HidD_GetHidGuid(LPGUID hidGuid);
BOOLEAN WINAPI HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsedData);
BOOLEAN WINAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsedData);
BOOLEAN WINAPI HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes);
BOOLEAN WINAPI HidD_SetFeature(HANDLE device, PVOID reportBuffer, ULONG reportBufferLength);
BOOLEAN WINAPI HidD_GetFeature(HANDLE device, PVOID reportBuffer, ULONG reportBufferLength);
NTSTATUS WINAPI HidP_GetCaps(PHIDP_PREPARSED_DATA preparsedData, PHIDP_CAPS capabilities);
NTSTATUS WINAPI HidP_GetSpecificButtonCaps(HIDP_REPORT_TYPE reportType, USAGE usagePage,
                                           USHORT linkCollection, USAGE usage,
                                           PHIDP_BUTTON_CAPS buttonCaps, PUSHORT buttonCapsLength,
                                           PHIDP_PREPARSED_DATA preparsedData);
NTSTATUS WINAPI HidP_GetSpecificValueCaps(HIDP_REPORT_TYPE reportType, USAGE usagePage,
                                          USHORT linkCollection, USAGE usage,
                                          PHIDP_VALUE_CAPS valueCaps, PUSHORT valueCapsLength,
                                          PHIDP_PREPARSED_DATA preparsedData);
