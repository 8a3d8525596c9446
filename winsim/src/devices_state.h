// winsim internals for devices, COM and the heap: the machine's HID interfaces, SetupAPI sets,
// preparsed data, device handles, heap blocks, COM apartment, classes and live objects.
#pragma once

#include "machine.h"
#include "winsim/devices.h"
#include "winsim/modules.h"
#include "winsim/dshow.h"
#include "winsim/system.h"

#include <deque>

#include <set>
#include <unordered_map>

namespace winsim::detail {

struct HidEntry {
    HidInterface declared;
    bool present = true;
};

// What a device handle refers to; it keeps the interface alive after an unplug.
struct DeviceHandle {
    std::shared_ptr<HidEntry> hid;
    winsim::NamedDevice* named = nullptr;
    DWORD access = 0;
};

struct DeviceInfoSet {
    GUID interfaceClass;
    std::vector<std::shared_ptr<HidEntry>> members; // a snapshot taken at creation
};

struct PreparsedData {
    std::shared_ptr<HidEntry> hid;
};

struct ComClass {
    GUID clsid;
    std::function<HRESULT(REFIID, void**)> create;
};

struct LoadedModule {
    winsim::Module module;
    int references = 0;
    bool resident = false; // kernel32, user32: loaded in every process, not counted
};

struct DeviceState {
    std::vector<std::unique_ptr<LoadedModule>> modules;
    std::vector<std::string> moduleNames; // every LoadLibraryA and LoadLibraryExA argument
    bool systemModulesAdded = false;
    bool currentDirectorySearched = true; // until SetDllDirectoryA("")
    std::shared_ptr<void> eva;            // eva.cpp's state
    std::vector<std::shared_ptr<HidEntry>> hid;
    // Unplugged interfaces: SetupAPI still lists them without DIGCF_PRESENT.
    std::vector<std::shared_ptr<HidEntry>> hidGone;
    std::vector<DWORD> classDevsFlags; // every SetupDiGetClassDevsA's flags
    std::vector<std::unique_ptr<winsim::NamedDevice>> named;
    int timerPeriodDepth = 0;
    std::map<uintptr_t, DeviceInfoSet> sets;
    uintptr_t nextSet = 0x5e7000;
    std::map<const void*, std::unique_ptr<PreparsedData>> preparsed;
    std::vector<DeviceOpen> opens;
    // The plugged-in interfaces by lower-case path, so that opening one does not walk them all.
    std::unordered_map<std::string, std::shared_ptr<HidEntry>> hidByPath;
    winsim::OpenCounts openCounts;

    std::map<void*, size_t> heapBlocks;

    int coInitDepth = 0;
    // Which apartment is current: a thread's last CoUninitialize ends one, and objects made in
    // it are no longer usable.
    uint64_t apartment = 0;
    uint64_t staleComCalls = 0;
    std::vector<ComClass> comClasses;
    std::vector<winsim::ComCreation> comCreations;
    std::set<const void*> comObjects;

    // The system device enumerator's categories, and the strings it handed out.
    std::vector<winsim::SystemDevice> systemDevices;
    std::deque<bool> unitOpens;
    std::set<const void*> bstrs;

    // Version, token, directory, files, shell executions and mutex waits (system.cpp).
    OSVERSIONINFOA version = {sizeof(OSVERSIONINFOA), 6, 1, 7601, VER_PLATFORM_WIN32_NT, {}};
    DWORD elevationType = TokenElevationTypeLimited;
    bool elevated = false;
    std::string currentDirectory = "C:\\Program Files\\Vexor2";
    std::set<std::string> files; // lower case
    std::vector<winsim::ShellExecution> shellExecutions;
    bool elevationAccepted = true;
    std::function<void(const winsim::ShellExecution&)> started;
    std::vector<winsim::MutexWait> mutexWaits;

    ~DeviceState();
};

DeviceState& Devices();

// The interface behind a device handle, or nullptr (last error set) when the handle is none.
HidEntry* HidBehind(HANDLE handle);
std::shared_ptr<HidEntry> SharedHidBehind(HANDLE handle); // the same, as the handle holds it

extern const GUID kHidInterfaceClass;

// The system device enumerator, CoCreateInstance's one built-in class (device_enum.cpp).
HRESULT CreateSystemDeviceEnum(REFIID iid, void** object);

// A call on a COM object made in apartment `apartment`: fails as Fails(name) says, and also,
// counted, once that apartment has ended (a use after the thread's last CoUninitialize).
bool ComCallFails(uint64_t apartment, const char* name);
// The same for a Release, which still takes effect: a use after the end, counted.
void CountStaleRelease(uint64_t apartment);

// Base of winsim's COM objects: one interface besides IUnknown, counted references, and an entry
// in the machine's live objects until the last Release.
template <class Interface> class ComObject : public Interface {
  public:
    explicit ComObject(const IID& iid) : iid_(iid) { Devices().comObjects.insert(this); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == iid_) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        CountStaleRelease(apartment_);
        ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

  protected:
    virtual ~ComObject() { Devices().comObjects.erase(this); }
    const uint64_t apartment_ = Devices().apartment;

  private:
    IID iid_;
    ULONG refs_ = 1;
};

} // namespace winsim::detail
