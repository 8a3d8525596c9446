// winsim: kernel-streaming property requests from user mode: the property header and
// IKsControl, as ks.h and ksproxy.h declare them.
#pragma once

#include "winsim/com.h"

typedef int64_t LONGLONG;

struct KSIDENTIFIER {
    union {
        struct {
            GUID Set;
            ULONG Id;
            ULONG Flags;
        };
        LONGLONG Alignment;
    };
};
typedef KSIDENTIFIER KSPROPERTY;
typedef KSIDENTIFIER KSMETHOD;
typedef KSIDENTIFIER KSEVENT;
typedef KSPROPERTY* PKSPROPERTY;
typedef KSMETHOD* PKSMETHOD;
typedef KSEVENT* PKSEVENT;

#define KSPROPERTY_TYPE_GET 0x00000001
#define KSPROPERTY_TYPE_SET 0x00000002

struct IKsControl : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength,
                                                 LPVOID data, ULONG dataLength,
                                                 ULONG* bytesReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD method, ULONG methodLength, LPVOID data,
                                               ULONG dataLength, ULONG* bytesReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT event, ULONG eventLength, LPVOID data,
                                              ULONG dataLength, ULONG* bytesReturned) = 0;
};

extern const IID IID_IKsControl;

// The topology of a filter (vidcap.h); only the operations the program calls.
struct IKsTopologyInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_NumNodes(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NodeType(DWORD node, GUID* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateNodeInstance(DWORD node, REFIID iid, void** object) = 0;
};

struct IKsNodeControl : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE put_NodeId(DWORD node) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_KsControl(LPVOID control) = 0;
};

extern const IID IID_IKsTopologyInfo;
extern const IID IID_IKsNodeControl;
