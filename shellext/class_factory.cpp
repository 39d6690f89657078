#include "shellext/class_factory.h"

#include <new>

#include "shellext/shell_extension.h"

namespace shellext {

CShellExtClassFactory::CShellExtClassFactory() { CountLiveObject(1); }
CShellExtClassFactory::~CShellExtClassFactory() { CountLiveObject(-1); }

HRESULT CShellExtClassFactory::QueryInterface(const GUID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG CShellExtClassFactory::AddRef() { return ++references_; }

ULONG CShellExtClassFactory::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT CShellExtClassFactory::CreateInstance(IUnknown* outer, const GUID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* extension = new (std::nothrow) CShellExtension();
    if (!extension) return E_OUTOFMEMORY;
    // A refused interface must not leave an object nobody holds.
    extension->AddRef();
    const HRESULT hr = extension->QueryInterface(iid, object);
    extension->Release();
    return hr;
}

HRESULT CShellExtClassFactory::LockServer(int) { return S_OK; }

HRESULT GetClassObject(const GUID* clsid, const GUID* iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!clsid || !iid) return E_INVALIDARG;
    if (!(*clsid == CLSID_ShellExtension)) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) CShellExtClassFactory();
    if (!factory) return E_OUTOFMEMORY;
    factory->AddRef();
    const HRESULT hr = factory->QueryInterface(*iid, object);
    factory->Release();
    return hr;
}

HRESULT CanUnloadNow() { return LiveObjectCount() == 0 ? S_OK : S_FALSE; }

}  // namespace shellext
