// The class factory the stand-in COM servers share: static (its references keep nothing alive,
// LockServer does), making each object with the server's own function. And the QueryInterface of
// their objects that offer one interface besides IUnknown.
#pragma once

#include <windows.h>

template <class Interface>
HRESULT QueryOwnInterface(Interface* self, REFIID own, REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != own)
        return E_NOINTERFACE;
    *out = self;
    self->AddRef();
    return S_OK;
}

class StaticClassFactory : public IClassFactory {
  public:
    typedef HRESULT (*CreateFunction)(int which, REFIID iid, void** out);
    StaticClassFactory(CreateFunction create, int which, LONG* locks)
        : create_(create), which_(which), locks_(locks) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return QueryOwnInterface<IClassFactory>(this, IID_IClassFactory, iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return create_(which_, iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            InterlockedIncrement(locks_);
        else
            InterlockedDecrement(locks_);
        return S_OK;
    }

  private:
    CreateFunction create_;
    int which_;
    LONG* locks_;
};
