// Capture-device button: the button latch in chip register 12, read and cleared through the
// camera capture filter's private property interface.
#pragma once

#include "sources/capture_device_property.h"

#include <cstddef>

class CaptureDeviceButton {
  public:
    // Nonzero (the interface) when the camera's filter was found and offers the interface.
    void* Open();
    int Poll(); // 1 on a new press (now cleared), else 0
    void Close();
    HRESULT ReadRegister(BYTE reg, BYTE count, DWORD* value);
    HRESULT WriteRegister(BYTE reg, BYTE count, DWORD* value);

    ICaptureDeviceProperty* interface_ = nullptr;
    HRESULT lastResult = 0;
    DWORD property4135 = 0;
    DWORD property4136 = 0;

  private:
    HRESULT Access(BYTE reg, BYTE count, DWORD* value, bool write);
    IBaseFilter* FindFilter(const char* wanted);
};

// The camera's TWAIN data source name, preferred when searching for its filter.
bool TwainSourceName(char* name, size_t size);
extern const char* const KnownCaptureDeviceNames[16];
