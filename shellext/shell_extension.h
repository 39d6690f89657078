#pragma once
// The extension object a file manager creates through the class factory: one
// object answering IContextMenu (its primary interface), IShellExtInit,
// IPersistFile and IDropTarget. It keeps what the file manager selected or
// dropped, the menu entries of the last menu it built, and hands every command
// to the window program (command files, mount command lines) or to the
// virtual-drive channel. Objects live on the file manager's one thread.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shellext/com.h"
#include "shellext/command_file.h"
#include "vdrive/drive_table.h"

namespace shellext {

// Objects alive (factories and extension objects): DllCanUnloadNow reads it.
int32_t LiveObjectCount();
void CountLiveObject(int32_t delta);
// The window of the last InvokeCommand, parent of what the extension shows and
// the -hwnd value of the mount command line.
uintptr_t OwnerWindow();
void SetOwnerWindow(uintptr_t window);

struct MenuEntry {
    uint32_t kind = 0;
    uint32_t offset = 0;
    std::u16string text;
    std::u16string help;
    std::optional<std::u16string> argument;
};

// Selection class bits.
enum : uint32_t {
    kSelectPack = 1,
    kSelectExtract = 2,
    kSelectVirtualDriveRoot = 4,
    kSelectOpticalDriveRoot = 8,
};

inline constexpr size_t kMenuEntryCapacity = 128;
inline constexpr uint32_t kMaxMenuDrives = 23;

// What the archive contents dialog chose (kind 193).
struct ArchiveRunChoice {
    bool accepted = false;
    bool run = false;
    int32_t driveIndex = -1;
    std::u16string itemPath;   // "/"-separated, inside the archive
};

class CShellExtension final : public IContextMenu, public IShellExtInit, public IPersistFile, public IDropTarget {
public:
    CShellExtension();
    CShellExtension(const CShellExtension&) = delete;
    CShellExtension& operator=(const CShellExtension&) = delete;

    HRESULT QueryInterface(const GUID& iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT QueryContextMenu(Menu* menu, uint32_t indexMenu, uint32_t idCmdFirst, uint32_t idCmdLast,
                             uint32_t flags) override;
    HRESULT InvokeCommand(const CMINVOKECOMMANDINFO* info) override;
    HRESULT GetCommandString(uintptr_t idCmd, uint32_t type, uint32_t* reserved, char* name,
                             uint32_t cchMax) override;

    HRESULT Initialize(const void* folderId, IDataObject* dataObject, void* progIdKey) override;

    HRESULT GetClassID(GUID* clsid) override;
    HRESULT IsDirty() override;
    HRESULT Load(const char16_t* fileName, uint32_t mode) override;
    HRESULT Save(const char16_t* fileName, int remember) override;
    HRESULT SaveCompleted(const char16_t* fileName) override;
    HRESULT GetCurFile(char16_t** fileName) override;

    HRESULT DragEnter(IDataObject* dataObject, uint32_t keys, POINTL point, uint32_t* effect) override;
    HRESULT DragOver(uint32_t keys, POINTL point, uint32_t* effect) override;
    HRESULT DragLeave() override;
    HRESULT Drop(IDataObject* dataObject, uint32_t keys, POINTL point, uint32_t* effect) override;

    // For tests and the dispatch: the selection, the entries of the last menu.
    const std::vector<std::u16string>& Selection() const { return selection_; }
    const std::vector<MenuEntry>& Entries() const { return entries_; }
    uint32_t SelectionFlags() const { return selectionFlags_; }
    // Records an entry of a kind no menu builds (tests).
    void AddEntryForTest(uint32_t kind, std::u16string argument);
    bool DispatchCommand(uint32_t offset);

private:
    ~CShellExtension();
    HRESULT ReadSelection(IDataObject* dataObject);

    // Menu building (context_menu.cpp).
    void ClassifySelection(const std::vector<vdrive::VirtualDriveEntry>& drives);
    bool MakeArchiveName(std::u16string& archivePath, std::u16string& displayName) const;
    void FillProductSubmenu(Menu* menu);
    bool AddMenuItem(Menu* menu, uint32_t kind, std::u16string text, std::u16string help,
                     std::u16string_view argument, bool grayed = false);
    Menu* AddSubmenu(Menu* menu, std::u16string text);
    void AddSeparator(Menu* menu);
    void AddDriveCountSubmenu(Menu* menu, uint32_t count);
    void AddDriveOptionsSubmenu(Menu* menu);
    void AddMountItems(Menu* menu, const std::vector<vdrive::VirtualDriveEntry>& drives);
    void AddSelectedDriveItems(Menu* menu, const std::vector<vdrive::VirtualDriveEntry>& drives);

    // Actions (command_dispatch.cpp).
    const MenuEntry* FindMenuItem(uint32_t offset) const;
    bool OnAdd(const MenuEntry& entry, bool saveTo, bool email);
    bool OnExtract(const MenuEntry& entry);
    bool OnBurnImage();
    bool OnMakeImage(const MenuEntry& entry);
    bool OnDrop();
    bool OnMountToDrive(uint32_t index);
    bool OnDriveCommand150();
    bool OnUnmountDrive();
    bool OnUnmountAllDrives();
    bool OnSetDriveCount(uint32_t count);
    bool OnToggleOption(uint32_t bit);
    bool OnDriveConfiguration();
    bool OnOpenOrRun();
    bool Finish(CCommandFile& file, bool ok);

    ULONG references_ = 0;
    std::vector<std::u16string> selection_;
    std::vector<std::u16string> dropped_;
    std::vector<MenuEntry> entries_;
    // Position in the menu being filled, next and first command id.
    size_t position_ = 0;
    uint32_t nextId_ = 0;
    uint32_t firstId_ = 0;
    uint32_t lastId_ = 0;
    uint32_t selectionFlags_ = 0;
    char16_t selectedLetter_ = 0;
    int32_t selectedDrive_ = -1;
    uint32_t driveCount_ = 0;
    bool unattended_ = false;
    std::optional<std::u16string> dropTarget_;
    IDataObject* dataObject_ = nullptr;
};

// The contents dialog of kind 193 is the window program's; the extension only
// has a way to ask for it. The stand-in answers "cancelled".
class IArchiveRunServices {
public:
    virtual ~IArchiveRunServices() = default;
    virtual ArchiveRunChoice RunArchiveContentsDialog(const std::u16string& archivePath) = 0;
};
IArchiveRunServices* SetArchiveRunServices(IArchiveRunServices* services);
IArchiveRunServices& ArchiveRunServices();

}  // namespace shellext
