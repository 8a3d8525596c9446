// Video-device enumeration over the system device enumerator, and the extension-unit object
// created on the device-specific node of a camera filter's kernel-streaming topology.
#include "chiplib/device_list.h"

#include <cwchar>

const GUID kReceiverComponentCategory = {
    0xFD0A5AF4, 0xB41D, 0x11D2, {0x9C, 0x95, 0x00, 0xC0, 0x4F, 0x79, 0x71, 0xE0}};
const GUID kDevSpecificNodeType = {
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};

namespace {

const DWORD kDeviceEnumContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
const DWORD kCameraNodes = 4;

template <class T> void ReleaseAndClear(T** p) {
    if (*p) {
        (*p)->Release();
        *p = nullptr;
    }
}

// The category's moniker enumerator, or the result that ends the operation (E_UNEXPECTED for an
// empty category). The system enumerator is released here either way.
HRESULT OpenCategory(REFGUID category, IEnumMoniker** monikers) {
    *monikers = nullptr;
    ICreateDevEnum* devices = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, kDeviceEnumContext,
                                  IID_ICreateDevEnum, reinterpret_cast<void**>(&devices));
    if (FAILED(hr))
        return hr;
    hr = devices->CreateClassEnumerator(category, monikers, 0);
    devices->Release();
    if (FAILED(hr))
        return hr;
    if (hr == S_FALSE || !*monikers) {
        ReleaseAndClear(monikers);
        return E_UNEXPECTED;
    }
    return S_OK;
}

// Reads a text property into a cleared variant; only a string counts.
bool ReadText(IPropertyBag* bag, const WCHAR* name, VARIANT* value) {
    VariantClear(value);
    VariantInit(value);
    HRESULT hr = bag->Read(name, value, nullptr);
    if (FAILED(hr))
        return false;
    if (value->vt != VT_BSTR || !value->bstrVal) {
        VariantClear(value);
        return false;
    }
    return true;
}

// At most 511 characters and the terminator.
void CopyEntry(WCHAR* entry, const WCHAR* text) {
    int i = 0;
    for (; i < kDeviceTextUnits - 1 && text[i]; ++i)
        entry[i] = text[i];
    entry[i] = 0;
}

} // namespace

HRESULT ListDevices(REFGUID category, VideoDeviceList* list) {
    list->count = 0;
    IEnumMoniker* monikers = nullptr;
    HRESULT hr = OpenCategory(category, &monikers);
    if (FAILED(hr))
        return hr;
    HRESULT result = S_OK;
    IMoniker* moniker = nullptr;
    while (list->count < kMaxListedDevices && monikers->Next(1, &moniker, nullptr) == S_OK) {
        IPropertyBag* bag = nullptr;
        hr = moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                    reinterpret_cast<void**>(&bag));
        if (FAILED(hr)) {
            ReleaseAndClear(&moniker);
            result = hr; // the devices listed so far stay listed
            break;
        }
        VARIANT value;
        VariantInit(&value);
        if (ReadText(bag, L"FriendlyName", &value)) {
            CopyEntry(list->names[list->count], value.bstrVal);
            if (ReadText(bag, L"DevicePath", &value))
                CopyEntry(list->paths[list->count], value.bstrVal);
            list->count++;
        }
        VariantClear(&value);
        ReleaseAndClear(&bag);
        ReleaseAndClear(&moniker);
    }
    monikers->Release();
    return result;
}

HRESULT ListVideoInputDevices(VideoDeviceList* list) {
    return ListDevices(CLSID_VideoInputDeviceCategory, list);
}

HRESULT ListReceiverComponents(VideoDeviceList* list) {
    return ListDevices(kReceiverComponentCategory, list);
}

HRESULT FindDevice(REFGUID category, const WCHAR* wanted, IBaseFilter** filter) {
    *filter = nullptr;
    IEnumMoniker* monikers = nullptr;
    HRESULT hr = OpenCategory(category, &monikers);
    if (FAILED(hr))
        return hr;
    HRESULT result = S_OK;
    IMoniker* moniker = nullptr;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        IPropertyBag* bag = nullptr;
        hr = moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                    reinterpret_cast<void**>(&bag));
        if (FAILED(hr)) {
            ReleaseAndClear(&moniker);
            result = hr;
            break;
        }
        // A device with a path is known by its path only.
        VARIANT value;
        VariantInit(&value);
        bool named = ReadText(bag, L"DevicePath", &value) || ReadText(bag, L"FriendlyName", &value);
        bool match = named && std::wcscmp(value.bstrVal, wanted) == 0;
        VariantClear(&value);
        ReleaseAndClear(&bag);
        if (match) {
            IUnknown* bound = nullptr;
            result = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                           reinterpret_cast<void**>(&bound));
            if (SUCCEEDED(result) && bound)
                bound->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter));
            ReleaseAndClear(&bound);
            ReleaseAndClear(&moniker);
            break; // the first match decides, bound or not
        }
        ReleaseAndClear(&moniker);
    }
    monikers->Release();
    return result;
}

HRESULT FindVideoInputDevice(const WCHAR* wanted, IBaseFilter** filter) {
    return FindDevice(CLSID_VideoInputDeviceCategory, wanted, filter);
}

HRESULT FindReceiverComponent(const WCHAR* wanted, IBaseFilter** filter) {
    return FindDevice(kReceiverComponentCategory, wanted, filter);
}

int CreateExtensionUnit(IBaseFilter* filter, IExtensionUnitControl** unit) {
    *unit = nullptr;
    IKsTopologyInfo* topology = nullptr;
    if (FAILED(filter->QueryInterface(IID_IKsTopologyInfo, reinterpret_cast<void**>(&topology))) ||
        !topology)
        return 0;
    // The camera's topology has exactly four nodes; anything else is another device.
    DWORD nodes = 0;
    int opened = 0;
    if (SUCCEEDED(topology->get_NumNodes(&nodes)) && nodes == kCameraNodes) {
        for (DWORD i = 0; i < kCameraNodes && !opened; ++i) {
            GUID type = {};
            topology->get_NodeType(i, &type);
            if (type != kDevSpecificNodeType)
                continue;
            IUnknown* node = nullptr;
            if (FAILED(topology->CreateNodeInstance(i, IID_IKsNodeControl,
                                                    reinterpret_cast<void**>(&node))))
                break;
            HRESULT hr =
                CoCreateInstance(CLSID_ExtensionUnitControl, nullptr, kExtensionUnitClassContext,
                                 IID_IExtensionUnitControl, reinterpret_cast<void**>(unit));
            if (FAILED(hr) || !*unit) {
                *unit = nullptr;
                ReleaseAndClear(&node);
                break;
            }
            BOOL found = FALSE;
            if (SUCCEEDED((*unit)->OpenUnit(&found)) && found)
                opened = 1;
            else
                ReleaseAndClear(unit);
            ReleaseAndClear(&node);
        }
    }
    topology->Release();
    return opened;
}
