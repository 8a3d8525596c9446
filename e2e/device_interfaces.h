// The outside components' interfaces as the stand-ins implement them: the capture driver's private
// property interface, the extension-unit control server's interface, and the kernel-streaming
// interfaces mingw-w64 lacks. Declared here from their published identifiers and table order,
// apart from the program's own declarations, so that a mistake in those shows as a failure.
#pragma once

#include <windows.h>
#include <ks.h>

// {BE0AB5D2-3B9A-4E42-A05E-4A178B566C7C}: the capture driver's registers by property id.
const IID kCaptureDevicePropertyIid = {
    0xBE0AB5D2, 0x3B9A, 0x4E42, {0xA0, 0x5E, 0x4A, 0x17, 0x8B, 0x56, 0x6C, 0x7C}};

struct CaptureDevicePropertyInterface : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Reserved() = 0; // slot 4, not the program's to call
    virtual HRESULT STDMETHODCALLTYPE SetProperty(ULONG id, DWORD* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProperty(ULONG id, DWORD* value) = 0;
};

// {A0432DA0-A887-45F8-B28B-6693C6B9E619}, in emxunit.dll.
const CLSID kExtensionUnitClass = {
    0xA0432DA0, 0xA887, 0x45F8, {0xB2, 0x8B, 0x66, 0x93, 0xC6, 0xB9, 0xE6, 0x19}};
// {6E92B5C0-4D8A-402A-B56C-D2D292E0233B}
const IID kExtensionUnitIid = {
    0x6E92B5C0, 0x4D8A, 0x402A, {0xB5, 0x6C, 0xD2, 0xD2, 0x92, 0xE0, 0x23, 0x3B}};

// By position, QueryInterface counted as 0: seven operations of the server's own clients, then
// the four the camera's register library uses.
struct ExtensionUnitInterface : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Operation3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Operation4() = 0;
    virtual HRESULT STDMETHODCALLTYPE Operation5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Operation6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Operation7() = 0;
    virtual HRESULT STDMETHODCALLTYPE Operation8() = 0;
    virtual HRESULT STDMETHODCALLTYPE Operation9() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetUnitControl(ULONG selector, ULONG length,
                                                     BYTE* buffer) = 0; // 10
    virtual HRESULT STDMETHODCALLTYPE SetUnitControl(ULONG selector, ULONG length,
                                                     BYTE* buffer) = 0; // 11
    virtual HRESULT STDMETHODCALLTYPE OpenUnit(LONG* found) = 0;        // 12
    virtual HRESULT STDMETHODCALLTYPE CloseUnit() = 0;                  // 13
};

// ksproxy.h's IKsControl, which mingw-w64 declares only for kernel mode.
struct KsControlInterface : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength,
                                                 LPVOID data, ULONG dataLength,
                                                 ULONG* bytesReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD method, ULONG methodLength, LPVOID data,
                                               ULONG dataLength, ULONG* bytesReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT event, ULONG eventLength, LPVOID data,
                                              ULONG dataLength, ULONG* bytesReturned) = 0;
};
// {28F54685-06FD-11D2-B27A-00A0C9223196}
const IID kKsControlIid = {
    0x28F54685, 0x06FD, 0x11D2, {0xB2, 0x7A, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

// vidcap.h's IKsTopologyInfo, in its table order.
struct KsTopologyInfoInterface : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_NumCategories(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Category(DWORD index, GUID* category) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NumConnections(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ConnectionInfo(DWORD index,
                                                         KSTOPOLOGY_CONNECTION* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NodeName(DWORD node, WCHAR* name, DWORD size,
                                                   DWORD* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NumNodes(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NodeType(DWORD node, GUID* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateNodeInstance(DWORD node, REFIID iid, void** object) = 0;
};
// {720D4AC0-7533-11D0-A5D6-28DB04C10000}
const IID kKsTopologyInfoIid = {
    0x720D4AC0, 0x7533, 0x11D0, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};

// vidcap.h's IKsNodeControl.
struct KsNodeControlInterface : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE put_NodeId(DWORD node) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_KsControl(PVOID control) = 0;
};
// {11737C14-24A7-4BB5-81A0-0D003813B0C4}
const IID kKsNodeControlIid = {
    0x11737C14, 0x24A7, 0x4BB5, {0x81, 0xA0, 0x0D, 0x00, 0x38, 0x13, 0xB0, 0xC4}};

// {941C7AC0-C559-11D0-8A2B-00A0C9255AC1}: the node type of a vendor's extension unit.
const GUID kDevSpecificNodeType = {
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};
