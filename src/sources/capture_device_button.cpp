// Capture-device button: finds the camera's capture filter among the video input devices by
// friendly-name prefix and polls the chip's capture latch through the driver's interface.
#include "sources/capture_device_button.h"

#include <cstring>

const char* const KnownCaptureDeviceNames[16] = {
    "USB 2800 Video",  "USB 2801 Video",  "USB 2700 Camera", "USB 2701 Camera",
    "USB 2840 Video",  "USB 2841 Video",  "USB 2820 Video",  "USB 2821 Video",
    "USB 2710 Camera", "USB 2711 Camera", "USB 2860 Video",  "USB 2861 Video",
    "USB 2880 Video",  "USB 2881 Video",  "USB 2750 Camera", "USB 2751 Camera",
};

namespace {

const char kTwainKey[] = "Software\\USB2800\\TwainDS";
const char kDefaultName[] = "USB 2820 Video";
const size_t kNameBytes = 260;
const BYTE kCaptureRegister = 12;
const DWORD kCaptureLatch = 0x20;

} // namespace

bool TwainSourceName(char* name, size_t size) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTwainKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char text[256];
    DWORD length = sizeof text;
    LSTATUS r = RegQueryValueExA(key, "RealDSName", nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                                 &length);
    if (r != ERROR_SUCCESS) {
        length = sizeof text;
        r = RegQueryValueExA(key, "DSName", nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                             &length);
    }
    RegCloseKey(key);
    if (r != ERROR_SUCCESS)
        return false;
    // A value stored without its terminator ends with the bytes read.
    size_t n = strnlen(text, length);
    if (n >= size)
        n = size - 1;
    std::memcpy(name, text, n);
    name[n] = '\0';
    return true;
}

IBaseFilter* CaptureDeviceButton::FindFilter(const char* wanted) {
    ICreateDevEnum* devices = nullptr;
    lastResult = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICreateDevEnum, reinterpret_cast<void**>(&devices));
    if (lastResult < 0 || !devices)
        return nullptr;
    IEnumMoniker* monikers = nullptr;
    lastResult = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
    devices->Release();
    if (lastResult < 0 || !monikers) // S_FALSE with no enumerator: an empty category
        return nullptr;
    IBaseFilter* found = nullptr;
    size_t wantedLength = std::strlen(wanted);
    monikers->Reset();
    IMoniker* moniker = nullptr;
    while (!found && monikers->Next(1, &moniker, nullptr) == S_OK) {
        IPropertyBag* bag = nullptr;
        lastResult = moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                            reinterpret_cast<void**>(&bag));
        char name[kNameBytes] = {};
        bool named = false;
        if (lastResult >= 0 && bag) {
            VARIANT value;
            VariantInit(&value);
            lastResult = bag->Read(L"FriendlyName", &value, nullptr);
            // Only a real string that converts counts as a name.
            named = lastResult >= 0 && value.vt == VT_BSTR && value.bstrVal &&
                    WideCharToMultiByte(CP_ACP, 0, value.bstrVal, -1, name, int(kNameBytes),
                                        nullptr, nullptr) > 0;
            VariantClear(&value);
            bag->Release();
        }
        if (named && std::strncmp(name, wanted, wantedLength) == 0) {
            IBaseFilter* filter = nullptr;
            lastResult = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                               reinterpret_cast<void**>(&filter));
            if (lastResult >= 0 && filter)
                found = filter;
        }
        moniker->Release();
        moniker = nullptr;
    }
    monikers->Release();
    return found;
}

void* CaptureDeviceButton::Open() {
    char wanted[kNameBytes] = {};
    if (!TwainSourceName(wanted, sizeof wanted))
        std::strcpy(wanted, kDefaultName);
    IBaseFilter* filter = FindFilter(wanted);
    for (size_t i = 0; !filter && i < 16; ++i)
        filter = FindFilter(KnownCaptureDeviceNames[i]);
    if (filter) {
        // Only the first filter found is asked: without the interface, the search is over.
        lastResult = filter->QueryInterface(IID_ICaptureDeviceProperty,
                                            reinterpret_cast<void**>(&interface_));
        filter->Release();
        if (lastResult < 0)
            interface_ = nullptr;
    }
    if (interface_) {
        interface_->GetProperty(CaptureProperty4135, &property4135);
        interface_->GetProperty(CaptureProperty4136, &property4136);
    }
    return interface_;
}

HRESULT CaptureDeviceButton::Access(BYTE reg, BYTE count, DWORD* value, bool write) {
    // Without an interface this is an error, not the positive 6 a caller testing the sign
    // would take for success.
    if (!interface_)
        return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    DWORD selection = (DWORD(reg) << 8) | count;
    lastResult = interface_->SetProperty(CapturePropertyRegisterSelect, &selection);
    if (lastResult >= 0)
        lastResult = write ? interface_->SetProperty(CapturePropertyRegisterData, value)
                           : interface_->GetProperty(CapturePropertyRegisterData, value);
    if (lastResult < 0) {
        DWORD reset = 0;
        interface_->SetProperty(CapturePropertyRegisterSelect, &reset);
    }
    return lastResult;
}

HRESULT CaptureDeviceButton::ReadRegister(BYTE reg, BYTE count, DWORD* value) {
    return Access(reg, count, value, false);
}

HRESULT CaptureDeviceButton::WriteRegister(BYTE reg, BYTE count, DWORD* value) {
    return Access(reg, count, value, true);
}

int CaptureDeviceButton::Poll() {
    DWORD value = 0; // bytes the driver does not fill read as 0
    lastResult = ReadRegister(kCaptureRegister, 1, &value);
    if (lastResult < 0 || !(value & kCaptureLatch))
        return 0;
    value &= ~kCaptureLatch;
    WriteRegister(kCaptureRegister, 1, &value);
    return 1;
}

void CaptureDeviceButton::Close() {
    if (interface_)
        interface_->Release();
    interface_ = nullptr;
}
