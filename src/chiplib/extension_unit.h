// The extension-unit control server's contract: its class, its interface and the positions of
// the operations the register library calls. The server lies outside the program.
#pragma once

#include "win32api.h"

// {A0432DA0-A887-45F8-B28B-6693C6B9E619}
const CLSID CLSID_ExtensionUnitControl = {
    0xA0432DA0, 0xA887, 0x45F8, {0xB2, 0x8B, 0x66, 0x93, 0xC6, 0xB9, 0xE6, 0x19}};
// {6E92B5C0-4D8A-402A-B56C-D2D292E0233B}
const IID IID_IExtensionUnitControl = {
    0x6E92B5C0, 0x4D8A, 0x402A, {0xB5, 0x6C, 0xD2, 0xD2, 0x92, 0xE0, 0x23, 0x3B}};

// The server lives in a DLL loaded into this process.
const DWORD kExtensionUnitClassContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

// Operations by position, QueryInterface counted as 0. Positions 3 to 9 are the server's own
// business: declared only so that the ones we call land where the server has them.
struct IExtensionUnitControl : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Unused3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused4() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused7() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused8() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused9() = 0;
    // 10: fills exactly `length` bytes of `buffer` from the control `selector`.
    virtual HRESULT STDMETHODCALLTYPE GetUnitControl(ULONG selector, ULONG length,
                                                     BYTE* buffer) = 0;
    // 11: sends `length` bytes to the control `selector`.
    virtual HRESULT STDMETHODCALLTYPE SetUnitControl(ULONG selector, ULONG length,
                                                     BYTE* buffer) = 0;
    // 12: a nonzero flag on success means the unit found its camera.
    virtual HRESULT STDMETHODCALLTYPE OpenUnit(BOOL* found) = 0;
    // 13: called once before the last Release; its result is not examined.
    virtual HRESULT STDMETHODCALLTYPE CloseUnit() = 0;
};
