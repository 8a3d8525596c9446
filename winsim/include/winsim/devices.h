// winsim's control API for devices, COM and the heap: tests plug in HID interfaces (the camera's,
// keyboards, mice, broken ones), install the extension-unit server, hand out kernel-streaming
// controls over a virtual camera, and count what the program leaves open.
#pragma once

#include "winsim/win32.h"
#include "winsim/hid.h"
#include "winsim/ks.h"
#include "vcam/camera.h"

#include <functional>
#include <string>
#include <map>
#include <vector>

namespace winsim {

// ---- HID interfaces ----
// One HID interface (top-level collection) as SetupAPI lists it. The capability arrays are what
// HidP_GetSpecific*Caps return per report type (index HidP_Input, HidP_Output, HidP_Feature).
struct HidInterface {
    std::string path;
    USHORT vendorId = 0, productId = 0, version = 0;
    USAGE usagePage = 0, usage = 0;
    std::vector<HIDP_BUTTON_CAPS> buttonCaps[3];
    std::vector<HIDP_VALUE_CAPS> valueCaps[3];
    // Data bytes of each feature report by id. As Windows' hidclass does, HidD_SetFeature and
    // HidD_GetFeature take a buffer of at least the collection's longest feature report with
    // its id (the caps' FeatureReportByteLength), whichever report it carries, and the device
    // sees the addressed report alone: its id and these bytes. (Wine checks only that the
    // buffer holds the addressed report.)
    std::vector<std::pair<BYTE, USHORT>> featureReports;
    // The device behind the interface: gets the report buffer (id first) of the report's size.
    std::function<bool(const BYTE* report, ULONG length)> setFeature;
    std::function<bool(BYTE* report, ULONG length)> getFeature;
    // Keyboards and mice belong to the system: opening them for reading or writing is denied,
    // a query-only open (access 0) works.
    bool systemOwned = false;
    // A failing interface, typically one being removed: the named query fails with this error.
    DWORD openError = 0; // CreateFileA
    bool preparsedFails = false;
    bool attributesFails = false;
    bool capsFails = false;
};

// Appends to the system's HID interfaces, in SetupAPI's enumeration order.
void AddHidInterface(const HidInterface& hid);
// Unplugs it: later enumerations with DIGCF_PRESENT miss it (without, SetupAPI still lists the
// device it knew, whose path no longer opens); open handles fail their requests.
void RemoveHidInterface(const std::string& path);
// The flags of every SetupDiGetClassDevsA call, in order.
const std::vector<DWORD>& DeviceSetFlags();

// Builders. A value or button capability of one report; the camera's interface with feature
// value items in reports 0x87 (4 bytes) and 0x93 (40 bytes) routed to `camera`.
HIDP_VALUE_CAPS ValueCap(BYTE reportId, USAGE usagePage = 0xFF00, USAGE usage = 1,
                         USHORT reportCount = 1);
HIDP_BUTTON_CAPS ButtonCap(BYTE reportId, USAGE usagePage = 0x09, USAGE usage = 1);
HidInterface CameraHidInterface(const std::string& path, vcam::Camera* camera);
HidInterface KeyboardHidInterface(const std::string& path);
HidInterface MouseHidInterface(const std::string& path);

// A HID interface path in SetupAPI's form for the given identifiers and instance.
std::string HidPath(USHORT vendorId, USHORT productId, int instance);

struct DeviceOpen {
    std::string path;
    DWORD access;
    DWORD share;
    DWORD creation;
    DWORD flags;
    bool succeeded;
};
// Every CreateFileA, in order, while the call log is recorded (see winsim::RecordCallLog).
const std::vector<DeviceOpen>& DeviceOpens();
// Every CreateFileA by the access it asked for, counted whether recorded or not.
struct OpenCounts {
    uint64_t queryOnly = 0; // access 0: attributes and HID queries only
    uint64_t readWrite = 0; // GENERIC_READ | GENERIC_WRITE
    uint64_t other = 0;     // any other access
};
OpenCounts DeviceOpenCounts();

int DeviceInfoListCount(); // SetupAPI sets not destroyed
int PreparsedDataCount();  // preparsed data not freed

// ---- named devices: serial ports and control devices ----
struct NamedDevice {
    std::string path; // "COM2", "\\.\PPJoyIOCTL1"
    bool serial = false;
    bool present = true;
    uint64_t writeStallMs = 0; // serial: a port that cannot send stalls each write this long
    // What the program did to it.
    int opens = 0;
    bool timeoutsSet = false, stateSet = false, maskSet = false;
    COMMTIMEOUTS timeouts = {};
    DCB dcb = {};
    DWORD commMask = 0;
    std::vector<std::string> writes; // each WriteFile's bytes, while recordWrites is on
    bool recordWrites = true;
    size_t writeCount = 0; // WriteFile calls that sent their bytes, recorded or not
    struct Ioctl {
        DWORD code;
        std::vector<BYTE> input;
        uint64_t time;
    };
    std::vector<Ioctl> ioctls; // the requests the driver accepted
    // The driver's control codes with the input size each takes; when any are declared, others
    // fail with ERROR_INVALID_FUNCTION and a wrong size with ERROR_INVALID_PARAMETER.
    std::map<DWORD, DWORD> controlInputBytes;
    std::string Written() const; // all writes joined
};
// Adds a device that CreateFileA opens by its path; the pointer stays valid until Reset.
NamedDevice* AddNamedDevice(const std::string& path, bool serial);
NamedDevice* FindNamedDevice(const std::string& path);
// PPJoy's control device for joystick 1, whose driver takes only its set-state request.
NamedDevice* AddPpjoyDevice();
// Timer resolution requests: how many timeBeginPeriod calls are not yet matched.
int TimerPeriodDepth();

// ---- the vendor's EVA library (UExProc.dll) ----
// Installs the stand-in where LoadLibraryA finds it; `isConnectedEVA` answers 1 while connected,
// and `sendExtensionUnitCommand` answers `camera`'s button state.
void InstallEvaLibrary(vcam::Camera* camera);
void SetEvaConnected(bool connected);
// The next commands answer these values, each taking its duration in virtual time.
struct EvaAnswer {
    int32_t answer;
    uint64_t durationMs;
};
void ScriptEvaAnswers(const std::vector<EvaAnswer>& answers);
struct EvaCalls {
    int isConnected = 0;
    int commands = 0;
    int releases = 0;
};
EvaCalls EvaCallCounts();

// ---- heap ----
int HeapBlockCount(); // blocks allocated and not freed

// ---- COM ----
int CoInitializeDepth(); // CoInitialize calls not yet matched by CoUninitialize
int LiveComObjects();    // simulated COM objects not yet released to zero

// Every CoCreateInstance, in order: what was asked for, in which class context, and the result.
struct ComCreation {
    GUID clsid;
    DWORD context;
    IID iid;
    HRESULT result;
};
const std::vector<ComCreation>& ComCreations();
// Calls on COM objects after the apartment they were made in ended with the thread's last
// CoUninitialize: such calls fail, as they would on a freed object.
uint64_t StaleComCalls();

// Registers a class for CoCreateInstance: `create` makes the object and queries it for the iid.
void RegisterComClass(const GUID& clsid, std::function<HRESULT(REFIID, void**)> create);
void UnregisterComClass(const GUID& clsid);

// The extension-unit control server's class, installed and registered: its units find `camera`
// when opened (nullptr: the unit reports no camera).
void RegisterExtensionUnitServer(vcam::Camera* camera);

// An IKsControl of the camera's video input filter (`receiver` false) or of its receiver
// component, with one reference for the caller.
IKsControl* NewCameraKsControl(vcam::Camera* camera, bool receiver);

} // namespace winsim
