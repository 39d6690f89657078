// What the extension's menu entries and drops do: most write a command file
// for the window program; the drive entries talk to the drive channel or have
// the window program mount.

#include <algorithm>

#include "app/extract_helpers.h"
#include "foundation/programs.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "shellext/program_start.h"
#include "shellext/selection.h"
#include "shellext/shell_extension.h"
#include "shellext/verbs.h"
#include "vdrive/drive_options.h"
#include "vdrive/virtual_drives.h"

namespace shellext {
namespace {

// The item's in-archive path below folder, each name made one safe
// component; empty when a name would leave the folder.
std::u16string JoinBelow(const std::u16string& folder, std::u16string_view itemPath) {
    std::u16string out = folder;
    size_t at = 0;
    bool any = false;
    while (at <= itemPath.size()) {
        size_t slash = itemPath.find(u'/', at);
        if (slash == std::u16string_view::npos) slash = itemPath.size();
        const std::u16string_view name = itemPath.substr(at, slash - at);
        at = slash + 1;
        if (name.empty()) continue;
        std::u16string safe;
        if (!app::MakeSafeComponent(name, safe)) return {};
        out += u"/" + safe;
        any = true;
    }
    return any ? out : std::u16string();
}

}  // namespace

HRESULT CShellExtension::InvokeCommand(const CMINVOKECOMMANDINFO* info) {
    if (!info) return E_INVALIDARG;
    SetOwnerWindow(info->hwnd);
    // A pointer to a verb text, not an offset.
    const uintptr_t verb = reinterpret_cast<uintptr_t>(info->lpVerb);
    if ((verb >> 16) != 0) return E_INVALIDARG;
    if (!FindMenuItem(uint32_t(verb & 0xFFFF))) return E_INVALIDARG;
    DispatchCommand(uint32_t(verb & 0xFFFF));
    return S_OK;
}

HRESULT CShellExtension::GetCommandString(uintptr_t idCmd, uint32_t type, uint32_t*, char* name, uint32_t cchMax) {
    if (type != GCS_VERBW && type != GCS_HELPTEXTW) return S_OK;
    if (!name || cchMax == 0) return S_OK;
    char16_t* out = reinterpret_cast<char16_t*>(name);
    out[0] = 0;
    const MenuEntry* entry = idCmd <= 0xFFFFFFFFu ? FindMenuItem(uint32_t(idCmd)) : nullptr;
    if (!entry) return S_OK;
    const std::u16string& text = type == GCS_VERBW ? entry->text : entry->help;
    const size_t count = std::min<size_t>(text.size(), cchMax / 2);
    std::copy_n(text.begin(), count, out);
    out[count] = 0;
    return S_OK;
}

const MenuEntry* CShellExtension::FindMenuItem(uint32_t offset) const {
    for (const MenuEntry& entry : entries_)
        if (entry.offset == offset) return &entry;
    return nullptr;
}

bool CShellExtension::DispatchCommand(uint32_t offset) {
    unattended_ = false;
    const MenuEntry* found = FindMenuItem(offset);
    if (!found) return false;
    const MenuEntry entry = *found;
    const uint32_t kind = entry.kind;
    switch (kind) {
    case kKindAddArchive: return OnAdd(entry, false, false);
    case kKindAddTo: return OnAdd(entry, true, false);
    case kKindExtractTo:
    case kKindExtractHere:
    case kKindExtractNames: return OnExtract(entry);
    case kKindAddArchiveEmail: return OnAdd(entry, false, true);
    case kKindAddToEmail: return OnAdd(entry, true, true);
    case kKindBurn: return OnBurnImage();
    case kKindMountSelectedDrive: return OnDriveCommand150();
    case kKindUnmountDrive: return OnUnmountDrive();
    case kKindUnmountAll: return OnUnmountAllDrives();
    case kKindAutostart: return OnToggleOption(vdrive::kOptionAutostart);
    case kKindAutomount: return OnToggleOption(vdrive::kOptionAutomount);
    case kKindConfiguration: return OnDriveConfiguration();
    case kKindMakeImage: return OnMakeImage(entry);
    case kKindInstallDrive: foundation::ShellOpen(foundation::GetWebLink(5)); return true;
    case kKindOpenOrRun: return OnOpenOrRun();
    default: break;
    }
    if (kind >= kKindMountFirst && kind <= kKindMountLast) return OnMountToDrive(kind - kKindMountFirst);
    if (kind >= kKindDriveCountFirst && kind <= kKindDriveCountLast) return OnSetDriveCount(kind - kKindDriveCountFirst);
    return false;
}

bool CShellExtension::Finish(CCommandFile& file, bool ok) {
    if (ok) ok = file.RunMainProgram(MainProgramPath(), unattended_);
    // Nothing is left behind that no program will read.
    if (!ok) file.Delete();
    return ok;
}

bool CShellExtension::OnAdd(const MenuEntry& entry, bool saveTo, bool email) {
    const std::u16string archive = entry.argument.value_or(u"");
    if (archive.empty()) return false;
    CCommandFile file;
    if (!file.Create()) return false;
    bool ok = file.WriteCommand(u"-c NEW_SCD ", archive) && file.WriteForEach(u"-c ADD ", selection_) &&
              file.WriteCommand(saveTo ? u"-c SAVE_TO " : u"-c SAVE_AS ", archive);
    if (ok && email) ok = file.Write(u"-c EMAIL\r\n");
    if (ok && saveTo) ok = file.Write(u"-c EXIT\r\n");
    unattended_ = saveTo;
    return Finish(file, ok);
}

bool CShellExtension::OnExtract(const MenuEntry& entry) {
    if (selection_.empty()) return false;
    const std::u16string firstFolder = FolderOf(selection_[0]);
    CCommandFile file;
    if (!file.Create()) return false;
    bool ok = true;
    for (const std::u16string& archive : selection_) {
        if (!ok) break;
        ok = file.WriteCommand(u"-c OPEN ", archive);
        if (!ok) break;
        if (entry.kind == kKindExtractTo) ok = file.WriteCommand(u"-c EXTRACT_DLG ", firstFolder);
        else if (entry.kind == kKindExtractHere) ok = file.WriteCommand(u"-c EXTRACT_TO ", firstFolder);
        else ok = file.WriteCommand(u"-c EXTRACT_TO ", WithoutExtension(archive));
    }
    if (ok && entry.kind != kKindExtractTo) ok = file.Write(u"-c EXIT\r\n");
    unattended_ = entry.kind != kKindExtractTo;
    return Finish(file, ok);
}

bool CShellExtension::OnBurnImage() {
    if (selection_.size() != 1) return false;
    CCommandFile file;
    if (!file.Create()) return false;
    const bool ok = file.Write(u"-c NEW_SCD\r\n") && file.WriteCommand(u"-c BURN_IMAGE_FILE ", selection_[0]);
    return Finish(file, ok);
}

bool CShellExtension::OnMakeImage(const MenuEntry& entry) {
    CCommandFile file;
    if (!file.Create()) return false;
    return Finish(file, file.WriteCommand(u"-c MAKE_IMAGE ", entry.argument.value_or(u"")));
}

bool CShellExtension::OnDrop() {
    unattended_ = false;
    // A drop with nothing dropped or no archive to add to has nothing to do.
    if (!dropTarget_ || dropTarget_->empty() || dropped_.empty()) return false;
    CCommandFile file;
    if (!file.Create()) return false;
    const bool ok = file.WriteCommand(u"-c OPEN_SCD ", *dropTarget_) && file.WriteForEach(u"-c ADD ", dropped_) &&
                    file.WriteCommand(u"-c UPDATE ", *dropTarget_) && file.Write(u"-c EXIT\r\n");
    unattended_ = true;
    return Finish(file, ok);
}

bool CShellExtension::OnSetDriveCount(uint32_t count) {
    if (count > kMaxMenuDrives || !vdrive::IsVirtualDriveAvailable(false)) return false;
    return vdrive::SetVirtualDriveCount(count);
}

bool CShellExtension::OnMountToDrive(uint32_t index) {
    if (selection_.empty() || !vdrive::IsVirtualDriveAvailable(false)) return false;
    const std::vector<vdrive::VirtualDriveEntry> drives = vdrive::GetVirtualDriveList();
    if (index >= drives.size()) return false;
    vdrive::UnmountVirtualDrive(drives[index].number);
    return MountFileThroughMainProgram(index, selection_[0]);
}

bool CShellExtension::OnDriveCommand150() {
    if (selectedDrive_ < 0 || !vdrive::IsVirtualDriveAvailable(false)) return false;
    return MountFileThroughMainProgram(uint32_t(selectedDrive_), std::nullopt);
}

bool CShellExtension::OnUnmountDrive() {
    if (selectedDrive_ < 0 || !vdrive::IsVirtualDriveAvailable(false)) return false;
    const std::vector<vdrive::VirtualDriveEntry> drives = vdrive::GetVirtualDriveList();
    if (size_t(selectedDrive_) >= drives.size()) return false;
    return vdrive::UnmountVirtualDrive(drives[size_t(selectedDrive_)].number);
}

bool CShellExtension::OnUnmountAllDrives() {
    if (!vdrive::IsVirtualDriveAvailable(false)) return false;
    for (uint32_t n = 0; n < kMaxMenuDrives; ++n) vdrive::UnmountVirtualDrive(n);
    return true;
}

bool CShellExtension::OnToggleOption(uint32_t bit) {
    if (!vdrive::IsVirtualDriveAvailable(false)) return false;
    vdrive::SetVirtualDriveOptions(vdrive::GetVirtualDriveOptions() ^ bit);
    return StartHelper({u"-vset_virtual_drive_parameters"});
}

bool CShellExtension::OnDriveConfiguration() { return ShellDialogServices().RunDriveConfiguration(); }

bool CShellExtension::OnOpenOrRun() {
    if (selection_.empty()) return false;
    const std::u16string archive = selection_[0];
    const ArchiveRunChoice choice = ArchiveRunServices().RunArchiveContentsDialog(archive);
    if (!choice.accepted) return false;
    if (choice.run) {
        // A folder of its own that outlives this call: the program extracts
        // into it and runs from it after the extension is gone.
        std::u16string folder;
        if (!platform::CreatePrivateTempFolder(folder)) return false;
        const std::u16string program = JoinBelow(folder, choice.itemPath);
        if (program.empty()) return false;
        CCommandFile file;
        if (!file.Create()) return false;
        const bool ok = file.WriteCommand(u"-c OPEN ", archive) && file.WriteCommand(u"-c EXTRACT_TO ", folder) &&
                        file.WriteCommand(u"-c EXEC ", program) && file.Write(u"-c EXIT\r\n");
        return Finish(file, ok);
    }
    if (choice.driveIndex < 0 || !vdrive::IsVirtualDriveAvailable(false)) return false;
    const std::vector<vdrive::VirtualDriveEntry> drives = vdrive::GetVirtualDriveList();
    const size_t index = size_t(choice.driveIndex);
    if (index >= drives.size()) return false;
    vdrive::UnmountVirtualDrive(drives[index].number);
    if (!MountFileThroughMainProgram(uint32_t(index), archive)) return false;
    if (!choice.itemPath.empty()) {
        const std::u16string target = JoinBelow(platform::Utf8ToUtf16(vdrive::DriveFolder(drives[index].letter)), choice.itemPath);
        if (!target.empty()) foundation::ShellOpen(target);
    }
    return true;
}

}  // namespace shellext
