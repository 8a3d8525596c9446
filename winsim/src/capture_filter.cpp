// winsim: the camera's video capture filter as its capture driver presents it, with the
// driver's private property interface over the virtual camera.
#include "devices_state.h"

#include "sources/capture_device_property.h"
#include "winsim/capture_filter.h"

using namespace winsim::detail;

namespace {

class CaptureFilter : public IBaseFilter, public ICaptureDeviceProperty {
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
        else if (iid == IID_ICaptureDeviceProperty && private_)
            *object = static_cast<ICaptureDeviceProperty*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            Devices().comObjects.erase(this);
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE Unused4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProperty(ULONG id, DWORD* value) override {
        if (!value)
            return E_POINTER;
        uint32_t v = *value;
        return camera_->CaptureProperty(true, id, &v);
    }
    HRESULT STDMETHODCALLTYPE GetProperty(ULONG id, DWORD* value) override {
        if (!value)
            return E_POINTER;
        uint32_t v = *value;
        HRESULT hr = camera_->CaptureProperty(false, id, &v);
        *value = v;
        return hr;
    }

  private:
    virtual ~CaptureFilter() = default;
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
