// HID transport: finds the camera's HID interface by its two vendor feature reports among all
// HID interfaces, opens it, and exchanges feature reports with it.
#pragma once

#include "win32api.h"

// The reports the camera's interface must declare as feature values.
const BYTE kCommandReportId = 0x87;
const BYTE kDataReportId = 0x93;
// Every feature report travels in a buffer of its id and at most this many data bytes.
const DWORD kFeatureReportData = 64;

// One HID interface met during a search. A record that could not be read stays all zero.
struct HidDeviceInfo {
    char* devicePath;
    HANDLE handle; // INVALID_HANDLE_VALUE when not open
    DWORD openedForRead, openedForWrite, openedOverlapped, openedExclusive;
    PHIDP_PREPARSED_DATA preparsedData;
    HIDP_CAPS capabilities;
    HIDD_ATTRIBUTES attributes;
    HIDP_BUTTON_CAPS* buttonCaps[3]; // by HIDP_REPORT_TYPE
    HIDP_VALUE_CAPS* valueCaps[3];
};

// The open handle (read/write, shared) of the first interface declaring feature values in both
// reports, or nullptr; *featureReportLength (when given) gets that interface's
// FeatureReportByteLength. Everything else the search took is released before it returns.
HANDLE FindHidDevice(USHORT* featureReportLength = nullptr);

// Feature reports go out in a buffer of at least the collection's FeatureReportByteLength
// (`reportLength`, id included), which Windows insists on even for a shorter report; a
// collection whose reports do not fit the 65-byte buffer is refused without a transfer.
// The report id and n data bytes (n at most 64) as one feature report.
bool SetFeatureReport(HANDLE device, USHORT reportLength, BYTE reportId, const BYTE* data, DWORD n);
// n data bytes of the report (at most 64): those after the report id, never the id itself.
bool GetFeatureReport(HANDLE device, USHORT reportLength, BYTE reportId, BYTE* destination,
                      DWORD n);

// The search's steps, for tests.
enum class HidSearch { Ok, Skipped, Failed }; // Skipped: the interface could not be read
// Fills *records (allocated here, release with ReleaseHidDevices) and *count.
bool EnumerateHidDevices(HidDeviceInfo** records, DWORD* count);
void ReleaseHidDevices(HidDeviceInfo* records, DWORD count);
HidSearch OpenHidDeviceInfo(const char* path, HidDeviceInfo* record);
bool ReadHidCapabilities(HidDeviceInfo* record);
void CloseHidDeviceInfo(HidDeviceInfo* record);
