#pragma once
// The class factory of the extension's one class and the module's entry
// points behind the library's four exports.

#include "shellext/com.h"

namespace shellext {

class CShellExtClassFactory final : public IClassFactory {
public:
    CShellExtClassFactory();
    CShellExtClassFactory(const CShellExtClassFactory&) = delete;
    CShellExtClassFactory& operator=(const CShellExtClassFactory&) = delete;

    HRESULT QueryInterface(const GUID& iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) override;
    HRESULT LockServer(int lock) override;

private:
    ~CShellExtClassFactory();
    ULONG references_ = 0;
};

HRESULT GetClassObject(const GUID* clsid, const GUID* iid, void** object);
HRESULT CanUnloadNow();

}  // namespace shellext
