// The camera capture driver's private property interface on its video capture filter. The
// driver lies outside the program: fixed are the identifier, the slot order and the property ids.
#pragma once

#include "win32api.h"

// {BE0AB5D2-3B9A-4E42-A05E-4A178B566C7C}
const IID IID_ICaptureDeviceProperty = {
    0xBE0AB5D2, 0x3B9A, 0x4E42, {0xA0, 0x5E, 0x4A, 0x17, 0x8B, 0x56, 0x6C, 0x7C}};

struct ICaptureDeviceProperty : public IUnknown {
    // Slot 4: never called; declared so that the next two stay where the driver has them.
    virtual HRESULT STDMETHODCALLTYPE Unused4() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProperty(ULONG id, DWORD* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProperty(ULONG id, DWORD* value) = 0;
};

enum : ULONG {
    CapturePropertyRegisterSelect = 4101, // (register << 8) | count; 0 resets the selection
    CapturePropertyRegisterData = 4102,
    CaptureProperty4135 = 4135,
    CaptureProperty4136 = 4136,
};
