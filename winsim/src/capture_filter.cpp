// winsim: the camera's video capture filter as its capture driver presents it, with the
// driver's private property interface over the virtual camera.
#include "devices_state.h"

#include "winsim/capture_filter.h"

using namespace winsim::detail;

namespace {

// The driver's private interface as the driver has it, written down here and not taken from
// the program, so that a wrong identifier or slot in the program fails against it.
// {BE0AB5D2-3B9A-4E42-A05E-4A178B566C7C}
const IID kDriverPropertyInterface = {
    0xBE0AB5D2, 0x3B9A, 0x4E42, {0xA0, 0x5E, 0x4A, 0x17, 0x8B, 0x56, 0x6C, 0x7C}};

const HRESULT kSetNotFound = HRESULT(0x80070492); // ERROR_SET_NOT_FOUND

struct DriverProperties : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Unused4() = 0;                           // slot 4
    virtual HRESULT STDMETHODCALLTYPE SetProperty(ULONG id, DWORD* value) = 0; // slot 5
    virtual HRESULT STDMETHODCALLTYPE GetProperty(ULONG id, DWORD* value) = 0; // slot 6
};

// Like every kernel-streaming filter it also answers for IKsControl, whose requests fail: the
// driver knows none of the register library's property sets.
class CaptureFilter : public IBaseFilter, public DriverProperties, public IKsControl {
  public:
    CaptureFilter(vcam::Camera* camera, bool privateInterface)
        : camera_(camera), private_(privateInterface) {
        Devices().comObjects.insert(this);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IBaseFilter)
            *object = static_cast<IBaseFilter*>(this);
        else if (iid == kDriverPropertyInterface && private_)
            *object = static_cast<DriverProperties*>(this);
        else if (iid == IID_IKsControl)
            *object = static_cast<IKsControl*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
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
    HRESULT STDMETHODCALLTYPE Unused4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY, ULONG, LPVOID, ULONG, ULONG*) override {
        ComCallFails(apartment_, "IKsControl::KsProperty");
        return kSetNotFound;
    }
    HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD, ULONG, LPVOID, ULONG, ULONG*) override {
        return kSetNotFound;
    }
    HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT, ULONG, LPVOID, ULONG, ULONG*) override {
        return kSetNotFound;
    }
    HRESULT STDMETHODCALLTYPE SetProperty(ULONG id, DWORD* value) override {
        if (ComCallFails(apartment_, "ICaptureDeviceProperty::SetProperty"))
            return E_FAIL;
        if (!value)
            return E_POINTER;
        uint32_t v = *value;
        return camera_->CaptureProperty(true, id, &v);
    }
    HRESULT STDMETHODCALLTYPE GetProperty(ULONG id, DWORD* value) override {
        if (ComCallFails(apartment_, "ICaptureDeviceProperty::GetProperty"))
            return E_FAIL;
        if (!value)
            return E_POINTER;
        uint32_t v = *value;
        HRESULT hr = camera_->CaptureProperty(false, id, &v);
        *value = v;
        return hr;
    }

  private:
    virtual ~CaptureFilter() = default;
    const uint64_t apartment_ = Devices().apartment;
    vcam::Camera* camera_;
    bool private_;
    ULONG refs_ = 1;
};

} // namespace

namespace winsim {

BindFunction CaptureFilterOf(vcam::Camera* camera, bool privateInterface) {
    return [camera, privateInterface](REFIID iid, void** object) -> HRESULT {
        auto* filter = new CaptureFilter(camera, privateInterface);
        HRESULT hr = filter->QueryInterface(iid, object);
        static_cast<IBaseFilter*>(filter)->Release();
        return hr;
    };
}

} // namespace winsim
