// What mingw-w64's SDK headers lack for kernel-streaming properties from user mode: its ks.h
// declares IKsControl only for kernel-mode drivers, and its ksproxy.h not at all; vidcap.h with
// IKsTopologyInfo and IKsNodeControl is missing. Declared here as the Windows SDK has them;
// IID_IKsControl itself comes from libstrmiids.
#pragma once

#ifndef _IKsControl_
#define _IKsControl_

struct IKsControl : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength,
                                                 LPVOID data, ULONG dataLength,
                                                 ULONG* bytesReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD method, ULONG methodLength, LPVOID data,
                                               ULONG dataLength, ULONG* bytesReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT event, ULONG eventLength, LPVOID data,
                                              ULONG dataLength, ULONG* bytesReturned) = 0;
};

extern "C" const IID IID_IKsControl;

#endif

#ifndef _IKsTopologyInfo_
#define _IKsTopologyInfo_

// vidcap.h's table order; the program calls get_NumNodes, get_NodeType and CreateNodeInstance.
struct IKsTopologyInfo : public IUnknown {
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

struct IKsNodeControl : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE put_NodeId(DWORD node) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_KsControl(PVOID control) = 0;
};

// No import library of mingw-w64 carries these two.
const IID IID_IKsTopologyInfo = {
    0x720D4AC0, 0x7533, 0x11D0, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
const IID IID_IKsNodeControl = {
    0x11737C14, 0x24A7, 0x4BB5, {0x81, 0xA0, 0x0D, 0x00, 0x38, 0x13, 0xB0, 0xC4}};

#endif
