// winsim: IKsControl on the camera's kernel-streaming filters: property requests go to the
// virtual camera's video filter or receiver filter.
#include "devices_state.h"

using namespace winsim::detail;

namespace {

const HRESULT kSetNotFound = HRESULT(0x80070492);

class CameraKsControl : public ComObject<IKsControl> {
  public:
    CameraKsControl(vcam::Camera* camera, bool receiver)
        : ComObject(IID_IKsControl), camera_(camera), receiver_(receiver) {}

    HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength, LPVOID data,
                                         ULONG dataLength, ULONG* bytesReturned) override {
        if (ComCallFails(apartment_, "IKsControl::KsProperty"))
            return E_FAIL;
        const BYTE* p = reinterpret_cast<const BYTE*>(property);
        BYTE* d = static_cast<BYTE*>(data);
        uint32_t returned = 0;
        HRESULT hr = receiver_
                         ? camera_->ReceiverProperty(p, propertyLength, d, dataLength, &returned)
                         : camera_->VideoProperty(p, propertyLength, d, dataLength, &returned);
        if (bytesReturned)
            *bytesReturned = returned;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD, ULONG, LPVOID, ULONG, ULONG*) override {
        ComCallFails(apartment_, "IKsControl::KsMethod");
        return kSetNotFound;
    }
    HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT, ULONG, LPVOID, ULONG, ULONG*) override {
        ComCallFails(apartment_, "IKsControl::KsEvent");
        return kSetNotFound;
    }

  private:
    vcam::Camera* camera_;
    bool receiver_;
};

} // namespace

namespace winsim {

IKsControl* NewCameraKsControl(vcam::Camera* camera, bool receiver) {
    return new CameraKsControl(camera, receiver);
}

} // namespace winsim
