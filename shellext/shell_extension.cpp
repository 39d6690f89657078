#include "shellext/shell_extension.h"

#include <atomic>

#include "foundation/services.h"
#include "shellext/drop_files.h"

namespace shellext {
namespace {

std::atomic<int32_t> g_liveObjects{0};
std::atomic<uintptr_t> g_ownerWindow{0};

class CancelledArchiveRun final : public IArchiveRunServices {
public:
    ArchiveRunChoice RunArchiveContentsDialog(const std::u16string&) override { return {}; }
};

foundation::ServiceSlot<IArchiveRunServices, CancelledArchiveRun>& ArchiveRunSlot() {
    static foundation::ServiceSlot<IArchiveRunServices, CancelledArchiveRun> slot;
    return slot;
}

// The file-drop list of a data object; false when it has none.
bool ReadDropList(IDataObject* dataObject, std::vector<std::u16string>& paths) {
    paths.clear();
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (!dataObject || !Succeeded(dataObject->GetData(&format, &medium))) return false;
    const bool ok = medium.data && ParseDropFiles({medium.data, medium.size}, paths);
    ReleaseStgMedium(&medium);
    return ok;
}

}  // namespace

int32_t LiveObjectCount() { return g_liveObjects.load(); }
void CountLiveObject(int32_t delta) { g_liveObjects += delta; }
uintptr_t OwnerWindow() { return g_ownerWindow.load(); }
void SetOwnerWindow(uintptr_t window) { g_ownerWindow = window; }

IArchiveRunServices* SetArchiveRunServices(IArchiveRunServices* services) { return ArchiveRunSlot().Install(services); }
IArchiveRunServices& ArchiveRunServices() { return ArchiveRunSlot().Get(); }

CShellExtension::CShellExtension() { CountLiveObject(1); }

CShellExtension::~CShellExtension() {
    if (dataObject_) dataObject_->Release();
    CountLiveObject(-1);
}

HRESULT CShellExtension::QueryInterface(const GUID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IShellExtInit) *object = static_cast<IShellExtInit*>(this);
    else if (iid == IID_IContextMenu) *object = static_cast<IContextMenu*>(this);
    else if (iid == IID_IDropTarget) *object = static_cast<IDropTarget*>(this);
    else if (iid == IID_IPersist || iid == IID_IPersistFile) *object = static_cast<IPersistFile*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG CShellExtension::AddRef() { return ++references_; }

ULONG CShellExtension::Release() {
    const ULONG left = --references_;
    // COM objects end with their last reference.
    if (left == 0) delete this;
    return left;
}

HRESULT CShellExtension::Initialize(const void*, IDataObject* dataObject, void*) {
    if (dataObject_) dataObject_->Release();
    dataObject_ = nullptr;
    if (!dataObject) return E_FAIL;
    dataObject_ = dataObject;
    dataObject_->AddRef();
    return ReadSelection(dataObject);
}

HRESULT CShellExtension::ReadSelection(IDataObject* dataObject) {
    selection_.clear();
    if (!dataObject) return S_OK;
    return ReadDropList(dataObject, selection_) ? S_OK : E_FAIL;
}

HRESULT CShellExtension::GetClassID(GUID*) { return E_NOTIMPL; }
HRESULT CShellExtension::IsDirty() { return E_NOTIMPL; }
HRESULT CShellExtension::Save(const char16_t*, int) { return E_NOTIMPL; }
HRESULT CShellExtension::SaveCompleted(const char16_t*) { return E_NOTIMPL; }
HRESULT CShellExtension::GetCurFile(char16_t**) { return E_NOTIMPL; }

HRESULT CShellExtension::Load(const char16_t* fileName, uint32_t) {
    if (fileName) dropTarget_ = std::u16string(fileName);
    return S_OK;
}

HRESULT CShellExtension::DragEnter(IDataObject* dataObject, uint32_t, POINTL, uint32_t* effect) {
    const bool any = ReadDropList(dataObject, dropped_);
    if (effect) *effect = any ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return any ? S_OK : E_INVALIDARG;
}

HRESULT CShellExtension::DragOver(uint32_t, POINTL, uint32_t* effect) {
    if (effect) *effect = DROPEFFECT_COPY;
    return S_OK;
}

HRESULT CShellExtension::DragLeave() { return S_OK; }

HRESULT CShellExtension::Drop(IDataObject*, uint32_t, POINTL, uint32_t* effect) {
    OnDrop();
    if (effect) *effect = DROPEFFECT_COPY;
    return S_OK;
}

void CShellExtension::AddEntryForTest(uint32_t kind, std::u16string argument) {
    MenuEntry entry;
    entry.kind = kind;
    entry.offset = uint32_t(entries_.size()) + 1000;
    if (!argument.empty()) entry.argument = std::move(argument);
    entries_.push_back(std::move(entry));
}

}  // namespace shellext
