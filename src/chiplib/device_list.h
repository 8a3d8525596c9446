// Video-device enumeration: the friendly names and device paths of one device category, the
// lookup of a device's filter by its path, and the extension-unit object of a camera's filter.
#pragma once

#include "chiplib/extension_unit.h"
#include "win32api.h"

const int kMaxListedDevices = 24;
const int kDeviceTextUnits = 512; // an entry's room, terminator included

// Filled by a list operation; the caller zeroes it first.
struct VideoDeviceList {
    SHORT count;
    WCHAR names[kMaxListedDevices][kDeviceTextUnits];
    WCHAR paths[kMaxListedDevices][kDeviceTextUnits]; // empty when the device has none
};

// {FD0A5AF4-B41D-11D2-9C95-00C04F7971E0}, KSCATEGORY_BDA_RECEIVER_COMPONENT
extern const GUID kReceiverComponentCategory;
// {941C7AC0-C559-11D0-8A2B-00A0C9255AC1}, KSNODETYPE_DEV_SPECIFIC
extern const GUID kDevSpecificNodeType;

// S_OK after a full walk, E_UNEXPECTED for an empty category, else the failing call's result.
HRESULT ListDevices(REFGUID category, VideoDeviceList* list);
HRESULT ListVideoInputDevices(VideoDeviceList* list);
HRESULT ListReceiverComponents(VideoDeviceList* list);

// The filter of the first device whose device path (or, lacking one, friendly name) equals
// `wanted`. S_OK with *filter null when none matched; the bind's result on a match.
HRESULT FindDevice(REFGUID category, const WCHAR* wanted, IBaseFilter** filter);
HRESULT FindVideoInputDevice(const WCHAR* wanted, IBaseFilter** filter);
HRESULT FindReceiverComponent(const WCHAR* wanted, IBaseFilter** filter);

// 1 with *unit holding an opened extension-unit control of the filter's camera, else 0.
int CreateExtensionUnit(IBaseFilter* filter, IExtensionUnitControl** unit);
