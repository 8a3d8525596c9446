// A stand-in for the extension-unit control server "emxunit.dll", for the end-to-end suite: an
// in-process COM server whose unit objects carry their framed controls to the virtual camera and
// record every call in the suite's shared memory; DllRegisterServer registers the class and
// writes the registration record the program reads.
#include "e2e/camera_images.h"
#include "e2e/class_factory.h"
#include "e2e/device_interfaces.h"
#include "e2e/extension_unit_control.h"
#include "vcam/camera.h"

#include <cstring>
#include <new>
#include <string>

namespace {

HMODULE gModule = nullptr;
LONG gObjects = 0;
LONG gServerLocks = 0;

ExtensionUnitControl* Control() {
    static ExtensionUnitControl* control = nullptr;
    if (!control) {
        HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kExtensionUnitControlName);
        if (mapping)
            control = static_cast<ExtensionUnitControl*>(
                MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ExtensionUnitControl)));
    }
    return control;
}

// The camera behind every unit of this process. The module stays loaded once it has one (see
// DllMain), so a latched press survives COM unloading the server between connections, as it
// survives in a real chip.
vcam::Camera& Camera() {
    static vcam::Camera camera;
    static bool loaded = false;
    ExtensionUnitControl* c = Control();
    if (!loaded) {
        camera.SetRecording(false);
        if (c && c->flashConfiguration) {
            camera.LoadFlash(FlashImage());
            camera.SetRegister(vcam::kStatusRegister, vcam::kConfigInFlash);
        } else {
            camera.LoadEeprom(EepromImage());
        }
        loaded = true;
    }
    if (c)
        camera.SetButtonDown(c->buttonDown != 0);
    return camera;
}

void Record(LONG object, LONG operation, ULONG selector, ULONG length, const BYTE* bytes,
            ULONG byteCount, HRESULT result) {
    ExtensionUnitControl* c = Control();
    if (!c)
        return;
    LONG at = InterlockedIncrement(&c->calls) - 1;
    if (at >= kUnitCallRecords)
        return;
    UnitCall& call = c->record[at];
    call.object = object;
    call.operation = operation;
    call.selector = LONG(selector);
    call.length = LONG(length);
    call.result = result;
    std::memset(call.bytes, 0, sizeof call.bytes);
    if (bytes)
        std::memcpy(call.bytes, bytes,
                    byteCount < sizeof call.bytes ? byteCount : sizeof call.bytes);
}

class Unit final : public ExtensionUnitInterface {
  public:
    Unit() {
        InterlockedIncrement(&gObjects);
        if (ExtensionUnitControl* c = Control()) {
            id_ = InterlockedIncrement(&c->objectsMade);
            InterlockedIncrement(&c->liveObjects);
        }
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return QueryOwnInterface<ExtensionUnitInterface>(this, kExtensionUnitIid, iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            Record(id_, kUnitRelease, 0, 0, nullptr, 0, S_OK);
            if (ExtensionUnitControl* c = Control()) {
                if (open_)
                    InterlockedIncrement(&c->releasedOpen);
                InterlockedDecrement(&c->liveObjects);
            }
            InterlockedDecrement(&gObjects);
            delete this;
        }
        return ULONG(left);
    }

    HRESULT STDMETHODCALLTYPE Operation3() override { return Other(); }
    HRESULT STDMETHODCALLTYPE Operation4() override { return Other(); }
    HRESULT STDMETHODCALLTYPE Operation5() override { return Other(); }
    HRESULT STDMETHODCALLTYPE Operation6() override { return Other(); }
    HRESULT STDMETHODCALLTYPE Operation7() override { return Other(); }
    HRESULT STDMETHODCALLTYPE Operation8() override { return Other(); }
    HRESULT STDMETHODCALLTYPE Operation9() override { return Other(); }

    HRESULT STDMETHODCALLTYPE GetUnitControl(ULONG selector, ULONG length, BYTE* buffer) override {
        HRESULT hr = Usable(length, buffer);
        if (SUCCEEDED(hr))
            hr = Camera().GetUnitControl(selector, length, buffer);
        Record(id_, kUnitGet, selector, length, SUCCEEDED(hr) ? buffer : nullptr, length, hr);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SetUnitControl(ULONG selector, ULONG length, BYTE* buffer) override {
        HRESULT hr = Usable(length, buffer);
        if (SUCCEEDED(hr))
            hr = Camera().SetUnitControl(selector, length, buffer);
        Record(id_, kUnitSet, selector, length, buffer, buffer ? length : 0, hr);
        return hr;
    }
    // The unit always finds the one virtual camera.
    HRESULT STDMETHODCALLTYPE OpenUnit(LONG* found) override {
        if (!found) {
            Record(id_, kUnitOpen, 0, 0, nullptr, 0, E_POINTER);
            return E_POINTER;
        }
        Camera();
        open_ = true;
        *found = 1;
        Record(id_, kUnitOpen, 0, 0, nullptr, 0, S_OK);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CloseUnit() override {
        if (!open_)
            if (ExtensionUnitControl* c = Control())
                InterlockedIncrement(&c->callsAfterClose);
        open_ = false;
        Record(id_, kUnitClose, 0, 0, nullptr, 0, S_OK);
        return S_OK;
    }

  private:
    ~Unit() = default;

    HRESULT Other() {
        if (ExtensionUnitControl* c = Control())
            InterlockedIncrement(&c->otherCalls);
        return E_NOTIMPL;
    }

    // Controls reach the camera only between OpenUnit and CloseUnit.
    HRESULT Usable(ULONG length, const BYTE* buffer) {
        if (!open_) {
            if (ExtensionUnitControl* c = Control())
                InterlockedIncrement(&c->callsAfterClose);
            return E_UNEXPECTED;
        }
        return !buffer && length ? E_POINTER : S_OK;
    }

    LONG references_ = 1;
    LONG id_ = 0;
    bool open_ = false;
};

HRESULT NewUnit(int, REFIID iid, void** out) {
    Unit* unit = new (std::nothrow) Unit();
    if (!unit)
        return E_OUTOFMEMORY;
    HRESULT hr = unit->QueryInterface(iid, out);
    unit->Release();
    return hr;
}

StaticClassFactory gFactory(NewUnit, 0, &gServerLocks);

std::string ClassKey() {
    return std::string("CLSID\\") + kExtensionUnitClsid;
}

LONG SetValue(HKEY root, const std::string& path, const char* name, DWORD type, const void* data,
              DWORD size) {
    HKEY key = nullptr;
    LONG r = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                             nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS)
        return r;
    r = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return r;
}

LONG SetText(HKEY root, const std::string& path, const char* name, const std::string& text) {
    return SetValue(root, path, name, REG_SZ, text.c_str(), DWORD(text.size() + 1));
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = instance;
        DisableThreadLibraryCalls(instance);
        // Pinned: the camera model lives as long as the process, like the device it stands for.
        HMODULE self;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCSTR>(&DllMain), &self);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (clsid != kExtensionUnitClass)
        return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() {
    return gObjects > 0 || gServerLocks > 0 ? S_FALSE : S_OK;
}

// The class in the 32-bit view of HKCR, and the record the installer leaves for its clients.
STDAPI DllRegisterServer() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(gModule, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return E_FAIL;
    if (ExtensionUnitControl* c = Control()) {
        InterlockedIncrement(&c->registrations);
        lstrcpynA(c->registeredFrom, path, MAX_PATH);
    }
    const DWORD version = kCurrentServerVersion;
    LONG results[] = {
        SetText(HKEY_CLASSES_ROOT, ClassKey(), nullptr, "Extension unit control (stand-in)"),
        SetText(HKEY_CLASSES_ROOT, ClassKey() + "\\InprocServer32", nullptr, path),
        SetText(HKEY_CLASSES_ROOT, ClassKey() + "\\InprocServer32", "ThreadingModel", "Apartment"),
        SetValue(HKEY_CURRENT_USER, kServerRecordKey, "Version Number", REG_DWORD, &version,
                 sizeof version),
        SetText(HKEY_CURRENT_USER, kServerRecordKey, "FileName Path", path),
    };
    for (LONG r : results)
        if (r != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(r);
    return S_OK;
}

STDAPI DllUnregisterServer() {
    LONG a = RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKey().c_str());
    LONG b = RegDeleteTreeA(HKEY_CURRENT_USER, kServerRecordKey);
    for (LONG r : {a, b})
        if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
            return HRESULT_FROM_WIN32(r);
    return S_OK;
}
}
