// The library's only visible symbols (qvshell.map hides everything else, the
// static libraries it is made of included).

#include "shellext/class_factory.h"
#include "shellext/dialog_faces/shell_dialog_faces.h"
#include "shellext/registration.h"

#define QV_EXPORT extern "C" __attribute__((visibility("default")))

QV_EXPORT shellext::HRESULT DllGetClassObject(const shellext::GUID* clsid, const shellext::GUID* iid, void** object) {
    shellext::InstallDialogFaces();
    return shellext::GetClassObject(clsid, iid, object);
}

QV_EXPORT shellext::HRESULT DllCanUnloadNow() { return shellext::CanUnloadNow(); }

QV_EXPORT shellext::HRESULT DllRegisterServer() { return shellext::RegisterShellExtension(); }

QV_EXPORT shellext::HRESULT DllUnregisterServer() { return shellext::UnregisterShellExtension(); }
