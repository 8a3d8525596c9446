// winsim: the extension-unit control server as it would be installed and registered: its class,
// and units that reach the virtual camera's extension-unit controls once opened.
#include "devices_state.h"

using namespace winsim::detail;

namespace {

// The server's contract, written down here from the server's side and not taken from the
// program: a program with a wrong identifier or a slot out of place must fail against it.
// {A0432DA0-A887-45F8-B28B-6693C6B9E619}
const CLSID kServerClass = {
    0xA0432DA0, 0xA887, 0x45F8, {0xB2, 0x8B, 0x66, 0x93, 0xC6, 0xB9, 0xE6, 0x19}};
// {6E92B5C0-4D8A-402A-B56C-D2D292E0233B}
const IID kUnitInterface = {
    0x6E92B5C0, 0x4D8A, 0x402A, {0xB5, 0x6C, 0xD2, 0xD2, 0x92, 0xE0, 0x23, 0x3B}};

// Slots by position, QueryInterface being 0: seven of the server's own (3 to 9), then the four
// the camera's clients use.
struct UnitControl : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Unused3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused4() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused7() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused8() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused9() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetUnitControl(ULONG selector, ULONG length,
                                                     BYTE* buffer) = 0; // 10
    virtual HRESULT STDMETHODCALLTYPE SetUnitControl(ULONG selector, ULONG length,
                                                     BYTE* buffer) = 0; // 11
    virtual HRESULT STDMETHODCALLTYPE OpenUnit(BOOL* found) = 0;        // 12
    virtual HRESULT STDMETHODCALLTYPE CloseUnit() = 0;                  // 13
};

class ExtensionUnit : public ComObject<UnitControl> {
  public:
    explicit ExtensionUnit(vcam::Camera* camera) : ComObject(kUnitInterface), camera_(camera) {}

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
        if (ComCallFails(apartment_, "IExtensionUnitControl::GetUnitControl"))
            return E_FAIL;
        if (!open_)
            return E_UNEXPECTED;
        if (!buffer && length)
            return E_POINTER;
        return camera_->GetUnitControl(selector, length, buffer);
    }
    HRESULT STDMETHODCALLTYPE SetUnitControl(ULONG selector, ULONG length, BYTE* buffer) override {
        if (ComCallFails(apartment_, "IExtensionUnitControl::SetUnitControl"))
            return E_FAIL;
        if (!open_)
            return E_UNEXPECTED;
        if (!buffer && length)
            return E_POINTER;
        return camera_->SetUnitControl(selector, length, buffer);
    }
    HRESULT STDMETHODCALLTYPE OpenUnit(BOOL* found) override {
        if (ComCallFails(apartment_, "IExtensionUnitControl::OpenUnit"))
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
        ComCallFails(apartment_, "IExtensionUnitControl::CloseUnit");
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
    RegisterComClass(kServerClass, [camera](REFIID iid, void** object) {
        auto* unit = new ExtensionUnit(camera);
        HRESULT hr = unit->QueryInterface(iid, object);
        unit->Release();
        return hr;
    });
}

} // namespace winsim
