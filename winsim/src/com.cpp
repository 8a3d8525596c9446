// winsim: ole32's apartment counting and CoCreateInstance over the classes tests register, and
// the interface identifiers winsim defines.
#include "devices_state.h"

using namespace winsim::detail;

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IKsControl = {
    0x28F54685, 0x06FD, 0x11D2, {0xB2, 0x7A, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

namespace winsim {

int CoInitializeDepth() {
    return Devices().coInitDepth;
}

int LiveComObjects() {
    return int(Devices().comObjects.size());
}

const std::vector<ComCreation>& ComCreations() {
    return Devices().comCreations;
}

uint64_t StaleComCalls() {
    return Devices().staleComCalls;
}

void RegisterComClass(const GUID& clsid, std::function<HRESULT(REFIID, void**)> create) {
    UnregisterComClass(clsid);
    Devices().comClasses.push_back(ComClass{clsid, std::move(create)});
}

void UnregisterComClass(const GUID& clsid) {
    auto& classes = Devices().comClasses;
    for (auto it = classes.begin(); it != classes.end(); ++it)
        if (it->clsid == clsid) {
            classes.erase(it);
            return;
        }
}

} // namespace winsim

// One thread, one apartment: the first call initialises it, later ones only count.
HRESULT WINAPI CoInitialize(LPVOID) {
    if (Fails("CoInitialize"))
        return E_OUTOFMEMORY;
    return ++Devices().coInitDepth == 1 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize() {
    Fails("CoUninitialize");
    DeviceState& d = Devices();
    if (d.coInitDepth > 0 && --d.coInitDepth == 0)
        ++d.apartment;
}

namespace winsim::detail {

bool ComCallFails(uint64_t apartment, const char* name) {
    bool failed = Fails(name);
    DeviceState& d = Devices();
    if (apartment != d.apartment || d.coInitDepth == 0) {
        ++d.staleComCalls;
        return true;
    }
    return failed;
}

void CountStaleRelease(uint64_t apartment) {
    DeviceState& d = Devices();
    if (apartment != d.apartment || d.coInitDepth == 0)
        ++d.staleComCalls;
}

} // namespace winsim::detail

namespace {

HRESULT CreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
    if (Fails("CoCreateInstance"))
        return E_OUTOFMEMORY;
    DeviceState& d = Devices();
    if (d.coInitDepth == 0)
        return CO_E_NOTINITIALIZED;
    for (const ComClass& c : d.comClasses) {
        if (c.clsid != clsid)
            continue;
        // Every simulated class is an in-process server.
        if (!(context & CLSCTX_INPROC_SERVER))
            return REGDB_E_CLASSNOTREG;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return c.create(iid, object);
    }
    if (clsid == CLSID_SystemDeviceEnum)
        return (context & CLSCTX_INPROC_SERVER) && !outer ? CreateSystemDeviceEnum(iid, object)
                                                          : REGDB_E_CLASSNOTREG;
    return REGDB_E_CLASSNOTREG;
}

} // namespace

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                LPVOID* object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    HRESULT hr = CreateInstance(clsid, outer, context, iid, object);
    Devices().comCreations.push_back(winsim::ComCreation{clsid, context, iid, hr});
    return hr;
}
