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
