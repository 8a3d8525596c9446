// A stand-in for the camera's video capture filter, for the end-to-end suite: an in-process COM
// server over the virtual camera, registered as one or two video input devices or a BDA receiver
// component, answering the capture driver's private property interface, IKsControl with the video
// register or the receiver bus property set, and the kernel-streaming topology of a camera with an
// extension unit.
#include <windows.h>
#include <dshow.h>

#include "e2e/camera_filter_control.h"
#include "e2e/class_factory.h"
#include "e2e/camera_images.h"
#include "e2e/device_interfaces.h"
#include "vcam/camera.h"

#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

// {064B49C9-2408-4253-87D3-22F2FC24E1D8} and {...D9}, as kCameraFilterClsids spell them: one
// class per listed camera, so that each filter object knows which device it is.
const CLSID kCameraFilterClasses[kCameraFilters] = {
    {0x064B49C9, 0x2408, 0x4253, {0x87, 0xD3, 0x22, 0xF2, 0xFC, 0x24, 0xE1, 0xD8}},
    {0x064B49C9, 0x2408, 0x4253, {0x87, 0xD3, 0x22, 0xF2, 0xFC, 0x24, 0xE1, 0xD9}}};
const char* const kDevicePaths[kCameraFilters] = {
    "\\\\?\\root#vexor2_camera#0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global",
    "\\\\?\\root#vexor2_camera#0001#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global"};

// The topology of the camera: four nodes, the extension unit among them but not first.
const DWORD kTopologyNodes = 4;
const DWORD kExtensionUnitNode = 2;
// The other nodes' type: anything but the extension unit's.
const GUID kOtherNodeType = {
    0x7A3CF2D1, 0x5C7E, 0x4D0B, {0x9E, 0x3A, 0x1D, 0x60, 0x2B, 0x84, 0x55, 0x0C}};

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

// One camera model per process, behind every filter object: a second listed camera refuses its
// calls or answers with the same chip.
vcam::Camera& Camera() {
    static vcam::Camera camera;
    static bool loaded = false;
    if (!loaded) {
        camera.LoadEeprom(EepromImage());
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

// The extension-unit node's instance: held by the program only while it creates the unit.
class NodeControl final : public KsNodeControlInterface {
  public:
    NodeControl() { Count(&CameraFilterControl::liveNodes); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return QueryOwnInterface<KsNodeControlInterface>(this, kKsNodeControlIid, iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            CountDown(&CameraFilterControl::liveNodes);
            delete this;
        }
        return ULONG(left);
    }
    HRESULT STDMETHODCALLTYPE put_NodeId(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE put_KsControl(PVOID) override { return S_OK; }

  private:
    LONG references_ = 1;
};

class CameraFilter final : public IBaseFilter,
                           public KsControlInterface,
                           public CaptureDevicePropertyInterface,
                           public KsTopologyInfoInterface {
  public:
    explicit CameraFilter(int camera) : camera_(camera) {
        InterlockedIncrement(&gObjects);
        Count(&CameraFilterControl::liveObjects);
        Count(&CameraFilterControl::objectsMade);
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
        else if (iid == kKsControlIid && (offers & (kOfferKsControl | kOfferReceiverBus)))
            *out = static_cast<KsControlInterface*>(this);
        else if (iid == kCaptureDevicePropertyIid && (offers & kOfferCaptureProperty))
            *out = static_cast<CaptureDevicePropertyInterface*>(this);
        else if (iid == kKsTopologyInfoIid && (offers & kOfferTopology)) {
            *out = static_cast<KsTopologyInfoInterface*>(this);
            Count(&CameraFilterControl::topologyQueries);
        } else
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
        *id = kCameraFilterClasses[camera_];
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
        if (CameraFilterControl* c = Control()) {
            InterlockedIncrement(&c->camerasKsCalls[camera_]);
            InterlockedCompareExchange(&c->firstAsked, camera_ + 1, 0);
            if (c->refuseKsOf & (1 << camera_))
                return E_FAIL; // a camera that does not answer
        }
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
    HRESULT STDMETHODCALLTYPE Reserved() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProperty(ULONG id, DWORD* value) override {
        return CaptureProperty(true, id, value);
    }
    HRESULT STDMETHODCALLTYPE GetProperty(ULONG id, DWORD* value) override {
        return CaptureProperty(false, id, value);
    }

    // ---- IKsTopologyInfo: four nodes, one of them the extension unit ----
    HRESULT STDMETHODCALLTYPE get_NumCategories(DWORD* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Category(DWORD, GUID*) override { return E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE get_NumConnections(DWORD* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ConnectionInfo(DWORD, KSTOPOLOGY_CONNECTION*) override {
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_NodeName(DWORD, WCHAR*, DWORD, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_NumNodes(DWORD* count) override {
        if (!count)
            return E_POINTER;
        *count = kTopologyNodes;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_NodeType(DWORD node, GUID* type) override {
        if (!type)
            return E_POINTER;
        if (node >= kTopologyNodes)
            return E_INVALIDARG;
        *type = node == kExtensionUnitNode ? kDevSpecificNodeType : kOtherNodeType;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateNodeInstance(DWORD node, REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (node != kExtensionUnitNode)
            return E_INVALIDARG;
        NodeControl* control = new (std::nothrow) NodeControl();
        if (!control)
            return E_OUTOFMEMORY;
        HRESULT hr = control->QueryInterface(iid, out);
        control->Release();
        return hr;
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

    int camera_; // which listed camera this object is
    LONG references_ = 1;
    FILTER_STATE state_ = State_Stopped;
    IReferenceClock* clock_ = nullptr;
    IFilterGraph* graph_ = nullptr;
    WCHAR name_[MAX_FILTER_NAME] = {};
};

HRESULT NewFilter(int camera, REFIID iid, void** out) {
    CameraFilter* filter = new (std::nothrow) CameraFilter(camera);
    if (!filter)
        return E_OUTOFMEMORY;
    HRESULT hr = filter->QueryInterface(iid, out);
    filter->Release();
    return hr;
}

// One factory per camera class.
StaticClassFactory gFactories[kCameraFilters] = {{NewFilter, 0, &gServerLocks},
                                                 {NewFilter, 1, &gServerLocks}};

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

std::string ClassKey(int camera) {
    return std::string("CLSID\\") + kCameraFilterClsids[camera];
}

// The system device enumerator lists every subkey of the category's Instance key.
std::string InstanceKey(const char* category, int camera) {
    return std::string("CLSID\\") + category + "\\Instance\\" + kCameraFilterClsids[camera];
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
    for (int camera = 0; camera < kCameraFilters; ++camera)
        if (clsid == kCameraFilterClasses[camera])
            return gFactories[camera].QueryInterface(iid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
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
    LONG listedAs = ListedAs();
    std::vector<std::pair<std::string, std::pair<const char*, std::string>>> values;
    for (int camera = 0; camera < (listedAs & kListSecondCamera ? 2 : 1); ++camera) {
        values.push_back({ClassKey(camera), {nullptr, "Vexor2 stand-in camera filter"}});
        values.push_back({ClassKey(camera) + "\\InprocServer32", {nullptr, path}});
        values.push_back({ClassKey(camera) + "\\InprocServer32", {"ThreadingModel", "Both"}});
        for (const char* category : {kVideoInputCategory, kReceiverCategory}) {
            if (!(listedAs &
                  (category == kVideoInputCategory ? kListAsVideoInput : kListAsReceiver)))
                continue;
            std::string instance = InstanceKey(category, camera);
            values.push_back({instance, {"FriendlyName", kCameraFilterName}});
            values.push_back({instance, {"CLSID", kCameraFilterClsids[camera]}});
            values.push_back({instance, {"DevicePath", kDevicePaths[camera]}});
        }
    }
    for (const auto& v : values) {
        LONG r = SetText(HKEY_CLASSES_ROOT, v.first, v.second.first, v.second.second);
        if (r != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(r);
    }
    return S_OK;
}

STDAPI DllUnregisterServer() {
    for (int camera = 0; camera < kCameraFilters; ++camera) {
        LONG a =
            RegDeleteTreeA(HKEY_CLASSES_ROOT, InstanceKey(kVideoInputCategory, camera).c_str());
        LONG b = RegDeleteTreeA(HKEY_CLASSES_ROOT, InstanceKey(kReceiverCategory, camera).c_str());
        LONG c = RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKey(camera).c_str());
        // What is already gone is unregistered.
        for (LONG r : {a, b, c})
            if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
                return HRESULT_FROM_WIN32(r);
    }
    return S_OK;
}
}
