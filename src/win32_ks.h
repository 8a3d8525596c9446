// What mingw-w64's SDK headers lack for kernel-streaming properties from user mode: its ks.h
// declares IKsControl only for kernel-mode drivers, and its ksproxy.h not at all. Declared here
// as the Windows SDK's ksproxy.h has it; IID_IKsControl itself comes from libstrmiids.
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
