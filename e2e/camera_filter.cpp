// A stand-in for the camera's video capture filter, for the end-to-end suite: an in-process COM
// server over the virtual camera, registered as a video input device or a BDA receiver component,
// answering the capture driver's private property interface and IKsControl with the video register
// or the receiver bus property set.
#include "sources/capture_device_property.h"

#include "e2e/camera_filter_control.h"
#include "vcam/camera.h"

#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

// {064B49C9-2408-4253-87D3-22F2FC24E1D8}, as kCameraFilterClsid spells it.
const CLSID CLSID_CameraFilter = {
    0x064B49C9, 0x2408, 0x4253, {0x87, 0xD3, 0x22, 0xF2, 0xFC, 0x24, 0xE1, 0xD8}};
const char kDevicePath[] =
    "\\\\?\\root#vexor2_camera#0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";

HMODULE gModule = nullptr;
LONG gServerLocks = 0;
LONG gObjects = 0; // filter objects of this module, for DllCanUnloadNow

// The suite's switches, or none when it did not create them (regsvr32, a demo): then the filter
// answers every route, is listed as a video input device, and the button stays up.
CameraFilterControl* Control() {
    static CameraFilterControl* control = nullptr;
    if (!control) {
        HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kCameraFilterControlName);
        if (mapping)
            control = static_cast<CameraFilterControl*>(
                MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(CameraFilterControl)));
    }
    return control;
}

LONG Offers() {
    CameraFilterControl* c = Control();
    return c ? c->offers : kOfferCaptureProperty | kOfferKsControl | kOfferReceiverBus;
}

LONG ListedAs() {
    CameraFilterControl* c = Control();
    return c && c->listedAs ? c->listedAs : kListAsVideoInput;
}

void Count(volatile LONG CameraFilterControl::*counter) {
    if (CameraFilterControl* c = Control())
        InterlockedIncrement(&(c->*counter));
}

void CountDown(volatile LONG CameraFilterControl::*counter) {
    if (CameraFilterControl* c = Control())
        InterlockedDecrement(&(c->*counter));
}

// A configuration EEPROM whose string 1 is a serial number, at the block the header names.
std::vector<uint8_t> ConfigurationImage() {
    std::vector<uint8_t> image(0x8000, 0xFF);
    image[1] = 0x01; // block at 1 * 256 + 84
    const size_t base = 340;
    image[base + 18] = 0x01; // selector 1 names string 1
    image[base + 12] = 0x30; // string 1's descriptor, from the block
    const char text[] = "VX2-E2E1";
    image[base + 0x30] = uint8_t(sizeof text - 1 + 2);
    image[base + 0x31] = 3;
    std::memcpy(&image[base + 0x32], text, sizeof text - 1);
    return image;
}

// One camera per process, shared by every filter object, as one device is.
vcam::Camera& Camera() {
    static vcam::Camera camera;
    static bool loaded = false;
    if (!loaded) {
        camera.LoadEeprom(ConfigurationImage());
        camera.SetRecording(false); // counted, not kept: the program's process keeps polling
        loaded = true;
    }
    // The button as the suite holds it; a press latches when the chip is next read.
    if (CameraFilterControl* c = Control())
        camera.SetButtonDown(c->buttonDown != 0);
    return camera;
}

// A receiver bus transfer addressed to a device on the I2C bus rather than to the chip's own
// registers; a get names the device in the property, a set in its data.
bool ReceiverI2cTransfer(const KSPROPERTY* property, ULONG propertyLength, const void* data,
                         ULONG dataLength) {
    if (property->Id != vcam::kBusTransfer)
        return false;
    bool get = property->Flags == KSPROPERTY_TYPE_GET;
    const BYTE* request =
        get ? reinterpret_cast<const BYTE*>(property) : static_cast<const BYTE*>(data);
    if (!request || (get ? propertyLength : dataLength) < 28)
        return false;
    DWORD device;
    std::memcpy(&device, request + 24, sizeof device);
    return device != vcam::kChipRegisters;
}

class CameraFilter final : public IBaseFilter, public IKsControl, public ICaptureDeviceProperty {
  public:
    CameraFilter() {
        InterlockedIncrement(&gObjects);
        Count(&CameraFilterControl::liveObjects);
    }

    // ---- IUnknown ----
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        LONG offers = Offers();
        if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter ||
            iid == IID_IBaseFilter)
            *out = static_cast<IBaseFilter*>(this);
        else if (iid == IID_IKsControl && (offers & (kOfferKsControl | kOfferReceiverBus)))
            *out = static_cast<IKsControl*>(this);
        else if (iid == IID_ICaptureDeviceProperty && (offers & kOfferCaptureProperty))
            *out = static_cast<ICaptureDeviceProperty*>(this);
        else
            return E_NOINTERFACE; // IPersistPropertyBag among others: nothing to load
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            CountDown(&CameraFilterControl::liveObjects);
            InterlockedDecrement(&gObjects);
            delete this;
        }
        return ULONG(left);
    }

    // ---- IBaseFilter: a filter without pins that keeps its state and graph ----
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
        if (!id)
            return E_POINTER;
        *id = CLSID_CameraFilter;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stop() override {
        state_ = State_Stopped;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Pause() override {
        state_ = State_Paused;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override {
        state_ = State_Running;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* state) override {
        if (!state)
            return E_POINTER;
        *state = state_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override {
        if (clock)
            clock->AddRef();
        if (clock_)
            clock_->Release();
        clock_ = clock;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override {
        if (!clock)
            return E_POINTER;
        *clock = clock_;
        if (clock_)
            clock_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin** pin) override {
        if (pin)
            *pin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override {
        if (!info)
            return E_POINTER;
        std::wcscpy(info->achName, name_);
        info->pGraph = graph_; // the graph is not held: it holds the filter
        if (graph_)
            graph_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override {
        graph_ = graph;
        name_[0] = 0;
        if (name)
            std::wcsncat(name_, name, MAX_FILTER_NAME - 1);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

    // ---- IKsControl: the video register set and the receiver bus set, each when offered; any
    // other set is not known ----
    HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength, LPVOID data,
                                         ULONG dataLength, ULONG* bytesReturned) override {
        Count(&CameraFilterControl::ksCalls);
        if (bytesReturned)
            *bytesReturned = 0;
        bool header = property && propertyLength >= sizeof(KSPROPERTY);
        bool receiverSet =
            header && std::memcmp(&property->Set, vcam::kReceiverBusSet, sizeof(GUID)) == 0;
        LONG offers = Offers();
        if (receiverSet ? !(offers & kOfferReceiverBus) : !(offers & kOfferKsControl))
            return vcam::kPropertySetUnsupported;
        if (receiverSet)
            Count(&CameraFilterControl::receiverCalls);
        if (header && !receiverSet &&
            (property->Id == vcam::kI2cCommand || property->Id == vcam::kFlashCommand))
            Count(&CameraFilterControl::busCommands);
        if (receiverSet && ReceiverI2cTransfer(property, propertyLength, data, dataLength))
            Count(&CameraFilterControl::busCommands);
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(property);
        uint32_t returned = 0;
        HRESULT hr =
            receiverSet
                ? Camera().ReceiverProperty(bytes, propertyLength, static_cast<uint8_t*>(data),
                                            dataLength, &returned)
                : Camera().VideoProperty(bytes, propertyLength, static_cast<uint8_t*>(data),
                                         dataLength, &returned);
        if (bytesReturned)
            *bytesReturned = returned;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD, ULONG, LPVOID, ULONG, ULONG*) override {
        return vcam::kPropertySetUnsupported;
    }
    HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT, ULONG, LPVOID, ULONG, ULONG*) override {
        return vcam::kPropertySetUnsupported;
    }

    // ---- ICaptureDeviceProperty ----
    HRESULT STDMETHODCALLTYPE Unused4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProperty(ULONG id, DWORD* value) override {
        return CaptureProperty(true, id, value);
    }
    HRESULT STDMETHODCALLTYPE GetProperty(ULONG id, DWORD* value) override {
        return CaptureProperty(false, id, value);
    }

  private:
    ~CameraFilter() {
        if (clock_)
            clock_->Release();
    }

    HRESULT CaptureProperty(bool set, ULONG id, DWORD* value) {
        if (!value)
            return E_POINTER;
        Count(&CameraFilterControl::captureCalls);
        uint32_t v = uint32_t(*value);
        HRESULT hr = Camera().CaptureProperty(set, uint32_t(id), &v);
        *value = DWORD(v);
        return hr;
    }

    LONG references_ = 1;
    FILTER_STATE state_ = State_Stopped;
    IReferenceClock* clock_ = nullptr;
    IFilterGraph* graph_ = nullptr;
    WCHAR name_[MAX_FILTER_NAME] = {};
};

class ClassFactory : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory)
            return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // One static factory: its references keep nothing alive, LockServer does.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        CameraFilter* filter = new (std::nothrow) CameraFilter();
        if (!filter)
            return E_OUTOFMEMORY;
        HRESULT hr = filter->QueryInterface(iid, out);
        filter->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            InterlockedIncrement(&gServerLocks);
        else
            InterlockedDecrement(&gServerLocks);
        return S_OK;
    }
};

ClassFactory gFactory;

LONG SetText(HKEY root, const std::string& path, const char* name, const std::string& text) {
    HKEY key = nullptr;
    LONG r = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                             nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS)
        return r;
    r = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       DWORD(text.size() + 1));
    RegCloseKey(key);
    return r;
}

std::string ClassKey() {
    return std::string("CLSID\\") + kCameraFilterClsid;
}

// The system device enumerator lists every subkey of the category's Instance key.
std::string InstanceKey(const char* category) {
    return std::string("CLSID\\") + category + "\\Instance\\" + kCameraFilterClsid;
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_CameraFilter)
        return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() {
    return gObjects > 0 || gServerLocks > 0 ? S_FALSE : S_OK;
}

// A 32-bit process writes, and reads, the 32-bit view of HKCR, where a 32-bit program looks.
STDAPI DllRegisterServer() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(gModule, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return E_FAIL;
    std::vector<std::pair<std::string, std::pair<const char*, std::string>>> values = {
        {ClassKey(), {nullptr, "Vexor2 stand-in camera filter"}},
        {ClassKey() + "\\InprocServer32", {nullptr, path}},
        {ClassKey() + "\\InprocServer32", {"ThreadingModel", "Both"}},
    };
    LONG listedAs = ListedAs();
    for (const char* category : {kVideoInputCategory, kReceiverCategory}) {
        if (!(listedAs & (category == kVideoInputCategory ? kListAsVideoInput : kListAsReceiver)))
            continue;
        values.push_back({InstanceKey(category), {"FriendlyName", kCameraFilterName}});
        values.push_back({InstanceKey(category), {"CLSID", kCameraFilterClsid}});
        values.push_back({InstanceKey(category), {"DevicePath", kDevicePath}});
    }
    for (const auto& v : values) {
        LONG r = SetText(HKEY_CLASSES_ROOT, v.first, v.second.first, v.second.second);
        if (r != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(r);
    }
    return S_OK;
}

STDAPI DllUnregisterServer() {
    LONG a = RegDeleteTreeA(HKEY_CLASSES_ROOT, InstanceKey(kVideoInputCategory).c_str());
    LONG b = RegDeleteTreeA(HKEY_CLASSES_ROOT, InstanceKey(kReceiverCategory).c_str());
    LONG c = RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKey().c_str());
    // What is already gone is unregistered.
    for (LONG r : {a, b, c})
        if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
            return HRESULT_FROM_WIN32(r);
    return S_OK;
}
}
