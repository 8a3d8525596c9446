// winsim: the system device enumerator over the machine's device categories (monikers, property
// bags with "FriendlyName" and "DevicePath"), filters with a kernel-streaming topology and
// IKsControl, and OLE automation's strings and variants.
#include "devices_state.h"

#include <cstdlib>
#include <cstring>

using namespace winsim::detail;

const CLSID CLSID_SystemDeviceEnum = {
    0x62BE5D10, 0x60EB, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const CLSID CLSID_VideoInputDeviceCategory = {
    0x860BB310, 0x5D01, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const IID IID_ICreateDevEnum = {
    0x29840822, 0x5B84, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const IID IID_IPropertyBag = {
    0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
const IID IID_IBaseFilter = {
    0x56A86895, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const IID IID_IKsTopologyInfo = {
    0x720D4AC0, 0x7533, 0x11D0, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
const IID IID_IKsNodeControl = {
    0x11737C14, 0x24A7, 0x4BB5, {0x81, 0xA0, 0x0D, 0x00, 0x38, 0x13, 0xB0, 0xC4}};

namespace winsim {
const GUID kReceiverComponentCategory = {
    0xFD0A5AF4, 0xB41D, 0x11D2, {0x9C, 0x95, 0x00, 0xC0, 0x4F, 0x79, 0x71, 0xE0}};
const GUID kDevSpecificNode = {
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};
} // namespace winsim

namespace {

// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND): what a device's property bag gives for a value
// its registry key lacks.
const HRESULT kNoSuchValue = HRESULT(0x80070002);

std::wstring Wide(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

class PropertyBag : public ComObject<IPropertyBag> {
  public:
    explicit PropertyBag(const winsim::SystemDevice& device)
        : ComObject(IID_IPropertyBag), device_(device) {}

    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
        if (ComCallFails(apartment_, "IPropertyBag::Read"))
            return E_FAIL;
        if (!name || !value)
            return E_POINTER;
        std::wstring n = name;
        const std::string* text = nullptr;
        if (n == L"FriendlyName" && device_.hasFriendlyName)
            text = &device_.friendlyName;
        else if (n == L"DevicePath" && device_.hasDevicePath)
            text = &device_.devicePath;
        if (!text)
            return kNoSuchValue;
        // A string is wanted (VT_EMPTY or VT_BSTR asked for); the old contents are the
        // caller's to clear, as with the system's bag.
        if (value->vt != VT_EMPTY && value->vt != VT_BSTR)
            return E_INVALIDARG;
        value->vt = VT_BSTR;
        value->bstrVal = SysAllocString(Wide(*text).c_str());
        return S_OK;
    }

  private:
    winsim::SystemDevice device_;
};

class Moniker : public ComObject<IMoniker> {
  public:
    explicit Moniker(const winsim::SystemDevice& device)
        : ComObject(IID_IUnknown), device_(device) {}

    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx*, IMoniker*, REFIID iid,
                                           void** object) override {
        if (ComCallFails(apartment_, "IMoniker::BindToObject"))
            return E_FAIL;
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!device_.bind)
            return E_FAIL;
        return device_.bind(iid, object);
    }
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx*, IMoniker*, REFIID iid,
                                            void** object) override {
        if (ComCallFails(apartment_, "IMoniker::BindToStorage"))
            return E_FAIL;
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (FAILED(device_.storageResult))
            return device_.storageResult;
        if (iid != IID_IPropertyBag)
            return E_NOINTERFACE;
        *object = static_cast<IPropertyBag*>(new PropertyBag(device_));
        return S_OK;
    }

  private:
    winsim::SystemDevice device_;
};

class EnumMoniker : public ComObject<IEnumMoniker> {
  public:
    explicit EnumMoniker(std::vector<winsim::SystemDevice> devices)
        : ComObject(IID_IUnknown), devices_(std::move(devices)) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IMoniker** monikers, ULONG* fetched) override {
        if (ComCallFails(apartment_, "IEnumMoniker::Next"))
            return E_FAIL;
        // More than one per call needs the fetched count.
        if (!monikers || (count > 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        while (n < count && next_ < devices_.size())
            monikers[n++] = new Moniker(devices_[next_++]);
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        ComCallFails(apartment_, "IEnumMoniker::Skip");
        next_ += count;
        if (next_ > devices_.size()) {
            next_ = devices_.size();
            return S_FALSE;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        ComCallFails(apartment_, "IEnumMoniker::Reset");
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumMoniker**) override {
        ComCallFails(apartment_, "IEnumMoniker::Clone");
        return E_NOTIMPL;
    }

  private:
    std::vector<winsim::SystemDevice> devices_; // the category as it was when listed
    size_t next_ = 0;
};

class DeviceEnumerator : public ComObject<ICreateDevEnum> {
  public:
    DeviceEnumerator() : ComObject(IID_ICreateDevEnum) {}

    HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category, IEnumMoniker** enumerator,
                                                    DWORD) override {
        if (!enumerator)
            return E_POINTER;
        *enumerator = nullptr;
        if (ComCallFails(apartment_, "ICreateDevEnum::CreateClassEnumerator"))
            return E_FAIL;
        std::vector<winsim::SystemDevice> members;
        for (const winsim::SystemDevice& d : Devices().systemDevices)
            if (d.category == category)
                members.push_back(d);
        if (members.empty())
            return S_FALSE; // an empty category has no enumerator at all
        *enumerator = new EnumMoniker(std::move(members));
        return S_OK;
    }
};

class NodeControl : public ComObject<IKsNodeControl> {
  public:
    NodeControl() : ComObject(IID_IKsNodeControl) {}
    HRESULT STDMETHODCALLTYPE put_NodeId(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE put_KsControl(LPVOID) override { return S_OK; }
};

// One object with IBaseFilter, IKsTopologyInfo and IKsControl. Every kernel-streaming filter
// answers for IKsControl; without a camera behind it, its property requests fail as the proxy's
// do for a property set the driver does not know.
class Filter : public IBaseFilter, public IKsTopologyInfo, public IKsControl {
  public:
    explicit Filter(const winsim::FilterModel& model) : model_(model) {
        Devices().comObjects.insert(this);
    }
    const uint64_t apartment_ = Devices().apartment;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IBaseFilter)
            *object = static_cast<IBaseFilter*>(this);
        else if (iid == IID_IKsTopologyInfo && model_.topology)
            *object = static_cast<IKsTopologyInfo*>(this);
        else if (iid == IID_IKsControl)
            *object = static_cast<IKsControl*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        CountStaleRelease(apartment_);
        ULONG left = --refs_;
        if (left == 0) {
            Devices().comObjects.erase(this);
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE get_NumNodes(DWORD* count) override {
        if (ComCallFails(apartment_, "IKsTopologyInfo::get_NumNodes"))
            return E_FAIL;
        if (!count)
            return E_POINTER;
        *count = DWORD(model_.nodes.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_NodeType(DWORD node, GUID* type) override {
        if (ComCallFails(apartment_, "IKsTopologyInfo::get_NodeType"))
            return E_FAIL;
        if (!type)
            return E_POINTER;
        if (node >= model_.nodes.size())
            return E_INVALIDARG;
        *type = model_.nodes[node];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateNodeInstance(DWORD node, REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (ComCallFails(apartment_, "IKsTopologyInfo::CreateNodeInstance"))
            return E_FAIL;
        if (node >= model_.nodes.size())
            return E_INVALIDARG;
        auto* instance = new NodeControl;
        HRESULT hr = instance->QueryInterface(iid, object);
        instance->Release();
        return hr;
    }

    HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength, LPVOID data,
                                         ULONG dataLength, ULONG* bytesReturned) override {
        if (ComCallFails(apartment_, "IKsControl::KsProperty"))
            return E_FAIL;
        if (!model_.camera)
            return HRESULT(0x80070492); // ERROR_SET_NOT_FOUND
        const BYTE* p = reinterpret_cast<const BYTE*>(property);
        BYTE* d = static_cast<BYTE*>(data);
        uint32_t returned = 0;
        HRESULT hr =
            model_.receiver
                ? model_.camera->ReceiverProperty(p, propertyLength, d, dataLength, &returned)
                : model_.camera->VideoProperty(p, propertyLength, d, dataLength, &returned);
        if (bytesReturned)
            *bytesReturned = returned;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD, ULONG, LPVOID, ULONG, ULONG*) override {
        return HRESULT(0x80070492); // ERROR_SET_NOT_FOUND
    }
    HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT, ULONG, LPVOID, ULONG, ULONG*) override {
        return HRESULT(0x80070492);
    }

  private:
    virtual ~Filter() = default;
    winsim::FilterModel model_;
    ULONG refs_ = 1;
};

} // namespace

namespace winsim::detail {

// CoCreateInstance's built-in class: the enumerator ships with the system.
HRESULT CreateSystemDeviceEnum(REFIID iid, void** object) {
    auto* e = new DeviceEnumerator;
    HRESULT hr = e->QueryInterface(iid, object);
    e->Release();
    return hr;
}

} // namespace winsim::detail

BSTR WINAPI SysAllocString(const OLECHAR* text) {
    if (Fails("SysAllocString") || !text)
        return nullptr;
    size_t n = std::wcslen(text);
    // Like the system's: a 32-bit byte length ahead of the characters, which end with NUL.
    auto* block = static_cast<BYTE*>(std::malloc(sizeof(DWORD) + (n + 1) * sizeof(OLECHAR)));
    DWORD bytes = DWORD(n * sizeof(OLECHAR));
    std::memcpy(block, &bytes, sizeof bytes);
    BSTR s = reinterpret_cast<BSTR>(block + sizeof(DWORD));
    std::memcpy(s, text, (n + 1) * sizeof(OLECHAR));
    Devices().bstrs.insert(s);
    return s;
}

void WINAPI SysFreeString(BSTR text) {
    if (!text)
        return;
    auto& live = Devices().bstrs;
    if (!live.erase(text))
        throw winsim::Stall("SysFreeString of a string that is not allocated (double free?)");
    std::free(reinterpret_cast<BYTE*>(text) - sizeof(DWORD));
}

UINT WINAPI SysStringLen(BSTR text) {
    if (!text)
        return 0;
    DWORD bytes;
    std::memcpy(&bytes, reinterpret_cast<BYTE*>(text) - sizeof(DWORD), sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

void WINAPI VariantInit(VARIANT* variant) {
    variant->vt = VT_EMPTY;
    variant->wReserved1 = variant->wReserved2 = variant->wReserved3 = 0;
}

HRESULT WINAPI VariantClear(VARIANT* variant) {
    if (!variant)
        return E_INVALIDARG;
    if (variant->vt == VT_BSTR)
        SysFreeString(variant->bstrVal);
    variant->vt = VT_EMPTY;
    return S_OK;
}

int WINAPI WideCharToMultiByte(UINT, DWORD, const WCHAR* wide, int wideLength, LPSTR narrow,
                               int narrowLength, LPCSTR, BOOL* usedDefault) {
    if (Fails("WideCharToMultiByte") || !wide)
        return 0;
    // The ANSI code page for ASCII texts; anything else becomes '?'.
    size_t n = wideLength < 0 ? std::wcslen(wide) + 1 : size_t(wideLength);
    if (usedDefault)
        *usedDefault = FALSE;
    if (narrowLength == 0)
        return int(n);
    if (size_t(narrowLength) < n) {
        M().lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    for (size_t i = 0; i < n; ++i) {
        bool ascii = wide[i] >= 0 && wide[i] < 0x80;
        narrow[i] = ascii ? char(wide[i]) : '?';
        if (!ascii && usedDefault)
            *usedDefault = TRUE;
    }
    return int(n);
}

namespace winsim {

void AddSystemDevice(const SystemDevice& device) {
    Devices().systemDevices.push_back(device);
}

void AddVideoInputDevice(const std::string& friendlyName, const std::string& devicePath,
                         BindFunction bind) {
    SystemDevice d;
    d.category = CLSID_VideoInputDeviceCategory;
    d.friendlyName = friendlyName;
    d.devicePath = devicePath;
    d.bind = std::move(bind);
    AddSystemDevice(d);
}

void AddReceiverComponent(const std::string& friendlyName, const std::string& devicePath,
                          BindFunction bind) {
    SystemDevice d;
    d.category = kReceiverComponentCategory;
    d.friendlyName = friendlyName;
    d.devicePath = devicePath;
    d.bind = std::move(bind);
    AddSystemDevice(d);
}

void RemoveSystemDevices() {
    Devices().systemDevices.clear();
}

BindFunction FilterFactory(const FilterModel& model) {
    return [model](REFIID iid, void** object) {
        auto* f = new Filter(model);
        HRESULT hr = f->QueryInterface(iid, object);
        f->Release();
        return hr;
    };
}

std::vector<GUID> CameraNodes() {
    const GUID processing = {
        0x2A1C9F1B, 0x0BC4, 0x4B8A, {0x9D, 0x51, 0x10, 0xC4, 0x4E, 0x9A, 0x31, 0x02}};
    const GUID terminal = {
        0xDFF229E1, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
    const GUID output = {
        0xDFF229E5, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
    return {processing, terminal, kDevSpecificNode, output};
}

void ScriptExtensionUnitOpens(const std::vector<bool>& found) {
    Devices().unitOpens.assign(found.begin(), found.end());
}

int LiveBstrCount() {
    return int(Devices().bstrs.size());
}

} // namespace winsim
