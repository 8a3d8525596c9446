// winsim: the system device enumerator and what it hands out (monikers, property bags, filters
// with a kernel-streaming topology), OLE automation strings and variants; and the control API
// with which tests put devices into the machine's device categories.
#pragma once

#include "winsim/com.h"
#include "winsim/ks.h"

#include <functional>
#include <string>
#include <vector>

namespace vcam {
class Camera;
}

// Windows' WCHAR is 16 bits; winsim uses the host's wchar_t so that L"" literals work on both
// builds. Texts stay the same, only the record sizes grow.
typedef wchar_t WCHAR;
typedef WCHAR OLECHAR;
typedef OLECHAR* BSTR;
typedef const OLECHAR* LPCOLESTR;
typedef unsigned short VARTYPE;

#define VT_EMPTY 0
#define VT_I4 3
#define VT_BSTR 8

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1, wReserved2, wReserved3;
    union {
        LONG lVal;
        BSTR bstrVal;
        int64_t llVal;
    };
};

BSTR WINAPI SysAllocString(const OLECHAR* text);
void WINAPI SysFreeString(BSTR text);
UINT WINAPI SysStringLen(BSTR text);
void WINAPI VariantInit(VARIANT* variant);
HRESULT WINAPI VariantClear(VARIANT* variant);

#define CP_ACP 0
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* wide, int wideLength,
                               LPSTR narrow, int narrowLength, LPCSTR defaultChar,
                               BOOL* usedDefault);

struct IBindCtx;
struct IErrorLog;

// Only the operations the program calls are declared; winsim never lays these tables out for
// a caller outside this build.
struct IPropertyBag : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog* log) = 0;
};

struct IMoniker : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx* context, IMoniker* left, REFIID iid,
                                                   void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx* context, IMoniker* left, REFIID iid,
                                                    void** object) = 0;
};

struct IEnumMoniker : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, IMoniker** monikers, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumMoniker** copy) = 0;
};

struct ICreateDevEnum : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category,
                                                            IEnumMoniker** enumerator,
                                                            DWORD flags) = 0;
};

// The program only queries filters for other interfaces.
struct IBaseFilter : IUnknown {};

extern const CLSID CLSID_SystemDeviceEnum;
extern const CLSID CLSID_VideoInputDeviceCategory;
extern const IID IID_ICreateDevEnum;
extern const IID IID_IPropertyBag;
extern const IID IID_IBaseFilter;

namespace winsim {

// Makes the device's filter object and queries it for the iid (BindToObject).
using BindFunction = std::function<HRESULT(REFIID iid, void** object)>;

// {FD0A5AF4-B41D-11D2-9C95-00C04F7971E0}, KSCATEGORY_BDA_RECEIVER_COMPONENT
extern const GUID kReceiverComponentCategory;
// {941C7AC0-C559-11D0-8A2B-00A0C9255AC1}, KSNODETYPE_DEV_SPECIFIC
extern const GUID kDevSpecificNode;

// One device of a category, as the system device enumerator lists it.
struct SystemDevice {
    GUID category;
    bool hasFriendlyName = true;
    std::string friendlyName;
    bool hasDevicePath = true;
    std::string devicePath;
    HRESULT storageResult = S_OK; // BindToStorage fails with this when negative
    BindFunction bind;            // none: BindToObject fails with E_FAIL
};
// Appended to its category, in enumeration order. ASCII texts.
void AddSystemDevice(const SystemDevice& device);
void AddVideoInputDevice(const std::string& friendlyName, const std::string& devicePath,
                         BindFunction bind);
void AddReceiverComponent(const std::string& friendlyName, const std::string& devicePath,
                          BindFunction bind);
void RemoveSystemDevices(); // every category empty again

// A filter with a kernel-streaming topology of these node types and, with a camera, IKsControl
// on the camera's video filter (or its receiver filter). Without nodes the filter has no
// IKsTopologyInfo.
struct FilterModel {
    vcam::Camera* camera = nullptr;
    bool receiver = false;
    bool topology = true;
    std::vector<GUID> nodes;
};
BindFunction FilterFactory(const FilterModel& model);
// The four nodes of the camera's video filter: processing, camera terminal, extension unit,
// output; the third is device-specific.
std::vector<GUID> CameraNodes();

// Answers of the next extension units' OpenUnit, one per unit created; once used up, units
// find the camera they were registered with.
void ScriptExtensionUnitOpens(const std::vector<bool>& found);

int LiveBstrCount(); // strings from SysAllocString not yet freed

} // namespace winsim
