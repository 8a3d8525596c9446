// winsim: the extension-unit control server as it would be installed and registered: its class,
// and units that reach the virtual camera's extension-unit controls once opened.
#include "devices_state.h"

// The program fixes the server's interface; the stand-in implements that very declaration.
#include "chiplib/extension_unit.h"

using namespace winsim::detail;

namespace {

class ExtensionUnit : public ComObject<IExtensionUnitControl> {
  public:
    explicit ExtensionUnit(vcam::Camera* camera)
        : ComObject(IID_IExtensionUnitControl), camera_(camera) {}

    // Positions 3 to 9 belong to the server's own clients; a call from the program is a fault
    // the call log shows.
    HRESULT STDMETHODCALLTYPE Unused3() override { return Unexpected("Unused3"); }
    HRESULT STDMETHODCALLTYPE Unused4() override { return Unexpected("Unused4"); }
    HRESULT STDMETHODCALLTYPE Unused5() override { return Unexpected("Unused5"); }
    HRESULT STDMETHODCALLTYPE Unused6() override { return Unexpected("Unused6"); }
    HRESULT STDMETHODCALLTYPE Unused7() override { return Unexpected("Unused7"); }
    HRESULT STDMETHODCALLTYPE Unused8() override { return Unexpected("Unused8"); }
    HRESULT STDMETHODCALLTYPE Unused9() override { return Unexpected("Unused9"); }

    HRESULT STDMETHODCALLTYPE GetUnitControl(ULONG selector, ULONG length, BYTE* buffer) override {
        if (Fails("IExtensionUnitControl::GetUnitControl"))
            return E_FAIL;
        if (!open_)
            return E_UNEXPECTED;
        if (!buffer && length)
            return E_POINTER;
        return camera_->GetUnitControl(selector, length, buffer);
    }
    HRESULT STDMETHODCALLTYPE SetUnitControl(ULONG selector, ULONG length, BYTE* buffer) override {
        if (Fails("IExtensionUnitControl::SetUnitControl"))
            return E_FAIL;
        if (!open_)
            return E_UNEXPECTED;
        if (!buffer && length)
            return E_POINTER;
        return camera_->SetUnitControl(selector, length, buffer);
    }
    HRESULT STDMETHODCALLTYPE OpenUnit(BOOL* found) override {
        if (Fails("IExtensionUnitControl::OpenUnit"))
            return E_FAIL;
        if (!found)
            return E_POINTER;
        open_ = camera_ != nullptr;
        auto& script = Devices().unitOpens;
        if (!script.empty()) {
            open_ = open_ && script.front();
            script.pop_front();
        }
        *found = open_ ? 1 : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CloseUnit() override {
        Fails("IExtensionUnitControl::CloseUnit");
        open_ = false;
        return S_OK;
    }

  private:
    static HRESULT Unexpected(const char* operation) {
        Fails((std::string("IExtensionUnitControl::") + operation).c_str());
        return E_NOTIMPL;
    }

    vcam::Camera* camera_;
    bool open_ = false;
};

} // namespace

namespace winsim {

void RegisterExtensionUnitServer(vcam::Camera* camera) {
    RegisterComClass(CLSID_ExtensionUnitControl, [camera](REFIID iid, void** object) {
        auto* unit = new ExtensionUnit(camera);
        HRESULT hr = unit->QueryInterface(iid, object);
        unit->Release();
        return hr;
    });
}

} // namespace winsim
