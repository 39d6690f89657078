// The extension's submenu: built anew from the selection at every request,
// its entries recorded with the kind InvokeCommand dispatches on.

#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "foundation/language.h"
#include "optical/drive/drive_devices.h"
#include "platform/format.h"
#include "platform/text.h"
#include "shellext/program_start.h"
#include "shellext/selection.h"
#include "shellext/shell_extension.h"
#include "shellext/verbs.h"
#include "vdrive/drive_options.h"
#include "vdrive/virtual_drives.h"

namespace shellext {
namespace {

std::u16string Lang(uint32_t id, std::u16string_view text) { return foundation::GetLangString(id, text); }

// The conversions of a format text in order ("%%" none), so a translation
// that asks for other arguments than the English text is not used.
std::u16string Conversions(std::u16string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'%') continue;
        ++i;
        while (i < text.size() && std::u16string_view(u"-+ #0123456789.*lhI").find(text[i]) != std::u16string_view::npos)
            ++i;
        if (i < text.size() && text[i] != u'%') out.push_back(text[i]);
    }
    return out;
}

template <typename... Args>
std::u16string LangFormat(uint32_t id, std::u16string_view english, const Args&... args) {
    std::u16string text = Lang(id, english);
    if (Conversions(text) != Conversions(english)) text = std::u16string(english);
    return platform::Format(text, args...);
}

std::string Utf8(std::u16string_view text) {
    std::string out;
    return platform::Utf16ToUtf8Strict(text, out) ? out : std::string();
}

std::string RealPath(const std::string& path) {
    if (path.empty()) return {};
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return {};
    std::string out(resolved);
    ::free(resolved);
    return out;
}

bool IsFolder(std::u16string_view path) {
    struct stat st {};
    const std::string utf8 = Utf8(path);
    return !utf8.empty() && ::stat(utf8.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Mount points of the optical drives: the mount table's entries whose source
// is an sr device, with the decoded mount point.
std::string OpticalDeviceMountedAt(const std::string& folder) {
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, mountPoint, field;
        fields >> id >> parent >> numbers >> root >> mountPoint;
        while (fields >> field && field != "-") {
        }
        std::string type, source;
        fields >> type >> source;
        if (source.rfind("/dev/sr", 0) != 0) continue;
        // The table writes blanks and backslashes as octal escapes.
        std::string decoded;
        for (size_t i = 0; i < mountPoint.size(); ++i) {
            const auto octal = [&](size_t at) { return mountPoint[at] >= '0' && mountPoint[at] <= '7'; };
            if (mountPoint[i] == '\\' && i + 3 < mountPoint.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
                decoded.push_back(char(((mountPoint[i + 1] - '0') << 6) | ((mountPoint[i + 2] - '0') << 3) |
                                       (mountPoint[i + 3] - '0')));
                i += 3;
            } else {
                decoded.push_back(mountPoint[i]);
            }
        }
        if (decoded == folder) return source;
    }
    return {};
}

std::u16string MountedOrNoMedia(const vdrive::VirtualDriveEntry& drive) {
    const std::u16string mounted = vdrive::GetMountedImagePath(drive);
    return mounted.empty() ? Lang(30270, u"<No media>") : mounted;
}

}  // namespace

void CShellExtension::ClassifySelection(const std::vector<vdrive::VirtualDriveEntry>& drives) {
    selectionFlags_ = 0;
    selectedLetter_ = 0;
    selectedDrive_ = -1;
    if (selection_.empty()) return;
    if (selection_.size() == 1) {
        const std::string real = RealPath(Utf8(selection_[0]));
        if (!real.empty()) {
            for (size_t i = 0; i < drives.size(); ++i) {
                if (RealPath(vdrive::DriveFolder(drives[i].letter)) == real) {
                    selectionFlags_ = kSelectPack | kSelectVirtualDriveRoot;
                    selectedLetter_ = drives[i].letter;
                    selectedDrive_ = int32_t(i);
                    return;
                }
            }
            const std::string device = OpticalDeviceMountedAt(real);
            if (!device.empty()) {
                selectionFlags_ = kSelectPack | kSelectOpticalDriveRoot;
                optical::SrDriveDevices devices;
                for (size_t i = 0; i < devices.Devices().size(); ++i)
                    if (devices.Devices()[i] == device) selectedLetter_ = char16_t(u'D' + i);
                return;
            }
        }
    }
    for (const std::u16string& path : selection_) {
        if (IsFolder(path) || !IsArchiveExtension(ExtensionOf(path))) {
            selectionFlags_ = kSelectPack;
            return;
        }
    }
    selectionFlags_ = selection_.size() > 1 ? kSelectPack | kSelectExtract : kSelectExtract;
}

bool CShellExtension::MakeArchiveName(std::u16string& archivePath, std::u16string& displayName) const {
    archivePath.clear();
    displayName.clear();
    if (selection_.empty()) return false;
    const std::u16string type = DefaultArchiveType();
    if (selection_.size() == 1) {
        const std::u16string path = WithoutTrailingSlash(selection_[0]);
        // The root folder has no name to give an archive.
        if (path.empty() || path == u"/") return false;
        if (IsFolder(path)) archivePath = path + (path.back() == u'.' ? u"" : u".") + type;
        else archivePath = WithoutExtension(path) + u"." + type;
        displayName = archivePath.substr(archivePath.rfind(u'/') + 1);
        return true;
    }
    const std::u16string folder = FolderOf(selection_[0]);
    if (folder.empty() || folder == u"/") return false;
    displayName = folder.substr(folder.rfind(u'/') + 1) + u"." + type;
    archivePath = folder + u"/" + displayName;
    return true;
}

bool CShellExtension::AddMenuItem(Menu* menu, uint32_t kind, std::u16string text, std::u16string help,
                                  std::u16string_view argument, bool grayed) {
    if (!menu || entries_.size() >= kMenuEntryCapacity || nextId_ > lastId_) return false;
    MenuEntry entry;
    entry.kind = kind;
    entry.offset = nextId_ - firstId_;
    entry.text = text;
    entry.help = std::move(help);
    if (!argument.empty()) entry.argument = std::u16string(argument);
    entries_.push_back(std::move(entry));
    MenuItem item;
    item.id = nextId_++;
    item.text = std::move(text);
    item.grayed = grayed;
    item.data = kind;
    menu->Insert(position_++, std::move(item));
    return true;
}

Menu* CShellExtension::AddSubmenu(Menu* menu, std::u16string text) {
    if (!menu || nextId_ > lastId_) return nullptr;
    MenuItem item;
    item.id = nextId_++;
    item.text = std::move(text);
    item.submenu = std::make_unique<Menu>();
    Menu* sub = item.submenu.get();
    menu->Insert(position_++, std::move(item));
    return sub;
}

void CShellExtension::AddSeparator(Menu* menu) {
    if (!menu || nextId_ > lastId_) return;
    MenuItem item;
    item.id = nextId_++;
    item.separator = true;
    menu->Insert(position_++, std::move(item));
}

void CShellExtension::AddDriveCountSubmenu(Menu* menu, uint32_t count) {
    Menu* sub = AddSubmenu(menu, Lang(30230, u"&Set Number of Drives"));
    if (!sub) return;
    const size_t outer = position_;
    position_ = 0;
    auto countItem = [&](Menu* where, uint32_t n) {
        const std::u16string text = n == 0 ? Lang(30240, u"Disable") : LangFormat(30250, u"%d Drives", int(n));
        if (AddMenuItem(where, kKindDriveCountFirst + n, text, LangFormat(30160, u"Set Number of Drives to %d", int(n)), {}) &&
            n == count)
            where->At(position_ - 1)->checked = true;
    };
    countItem(sub, 0);
    AddSeparator(sub);
    const uint32_t shown = count <= 8 ? 8 : kMaxMenuDrives;
    for (uint32_t n = 1; n <= shown; ++n) countItem(sub, n);
    AddSeparator(sub);
    if (count <= 8) {
        Menu* more = AddSubmenu(sub, Lang(30520, u"More"));
        if (more) {
            const size_t subPosition = position_;
            position_ = 0;
            for (uint32_t n = 9; n <= kMaxMenuDrives; ++n) countItem(more, n);
            position_ = subPosition;
        }
    }
    position_ = outer;
}

void CShellExtension::AddDriveOptionsSubmenu(Menu* menu) {
    Menu* sub = AddSubmenu(menu, Lang(30170, u"Set Drive Options"));
    if (!sub) return;
    const size_t outer = position_;
    position_ = 0;
    const uint32_t options = vdrive::GetVirtualDriveOptions();
    if (AddMenuItem(sub, kKindAutostart, Lang(30290, u"Auto&start"), Lang(30180, u"Auto Start on Bootup"), {}))
        sub->At(position_ - 1)->checked = (options & vdrive::kOptionAutostart) != 0;
    if (AddMenuItem(sub, kKindAutomount, Lang(30300, u"Auto&mount"), Lang(30190, u"Auto Mount Archive on Bootup"), {}))
        sub->At(position_ - 1)->checked = (options & vdrive::kOptionAutomount) != 0;
    AddSeparator(sub);
    AddMenuItem(sub, kKindConfiguration, Lang(30450, u"&Configuration..."), Lang(30460, u"Change Virtual Drive Settings"), {});
    position_ = outer;
}

void CShellExtension::AddMountItems(Menu* menu, const std::vector<vdrive::VirtualDriveEntry>& drives) {
    const std::u16string& path = selection_[0];
    auto help = [&](char16_t letter) {
        return LangFormat(30150, u"Mount %s to Drive %s", path, std::u16string(1, letter));
    };
    if (driveCount_ == 0) {
        const std::u16string text = Lang(30220, u"<No Drive>");
        AddMenuItem(menu, kKindNoDrive, text, text, {}, true);
    } else if (driveCount_ == 1) {
        AddMenuItem(menu, kKindMountFirst,
                    LangFormat(30200, u"Mount Archive to Drive [%c:] ", drives[0].letter) + MountedOrNoMedia(drives[0]),
                    help(drives[0].letter), {});
    } else {
        Menu* sub = AddSubmenu(menu, LangFormat(30140, u"Mount %s to", path));
        if (!sub) return;
        const size_t outer = position_;
        position_ = 0;
        for (uint32_t n = 0; n < driveCount_; ++n) {
            AddMenuItem(sub, kKindMountFirst + n,
                        LangFormat(30260, u"Drive [%c:] ", drives[n].letter) + MountedOrNoMedia(drives[n]),
                        help(drives[n].letter), {});
        }
        position_ = outer;
    }
}

void CShellExtension::AddSelectedDriveItems(Menu* menu, const std::vector<vdrive::VirtualDriveEntry>& drives) {
    const vdrive::VirtualDriveEntry& drive = drives[size_t(selectedDrive_)];
    const std::u16string mounted = vdrive::GetMountedImagePath(drive);
    AddMenuItem(menu, kKindMountSelectedDrive,
                LangFormat(30200, u"Mount Archive to Drive [%c:] ", selectedLetter_) +
                    (mounted.empty() ? Lang(30270, u"<No media>") : mounted),
                LangFormat(30200, u"Mount Archive to Drive [%c:] ", selectedLetter_), {});
    const std::u16string unmount = LangFormat(30210, u"Unmount Drive [%c:]", selectedLetter_);
    if (mounted.empty()) AddMenuItem(menu, kKindUnmountDriveGrayed, unmount, unmount, {}, true);
    else AddMenuItem(menu, kKindUnmountDrive, unmount, unmount, {});
}

void CShellExtension::FillProductSubmenu(Menu* menu) {
    const std::vector<vdrive::VirtualDriveEntry> drives = vdrive::GetVirtualDriveList();
    driveCount_ = uint32_t(std::min<size_t>(drives.size(), kMaxMenuDrives));
    ClassifySelection(drives);
    const bool installed = IsVirtualDriveInstalledHere();
    bool driveGroupShown = false;
    bool installWanted = false;

    if ((selectionFlags_ & kSelectExtract) && selection_.size() == 1 && IsImageExtension(ExtensionOf(selection_[0]))) {
        AddMenuItem(menu, kKindBurn, Lang(30132, u"Burn..."), Lang(30133, u"Burn the selected image file to CD, DVD, or BD..."), {});
        AddSeparator(menu);
    }
    const size_t afterBurn = position_;

    if (selectionFlags_ & kSelectVirtualDriveRoot) {
        if (installed) {
            AddSelectedDriveItems(menu, drives);
            AddSeparator(menu);
            const std::u16string all = Lang(30280, u"&Unmount All Drives");
            AddMenuItem(menu, kKindUnmountAll, all, all, {});
            AddDriveCountSubmenu(menu, driveCount_);
            AddDriveOptionsSubmenu(menu);
            driveGroupShown = true;
        } else {
            installWanted = true;
        }
    }

    if (selectionFlags_ & kSelectPack) {
        std::u16string archivePath, displayName;
        if (MakeArchiveName(archivePath, displayName)) {
            if (driveGroupShown) AddSeparator(menu);
            AddMenuItem(menu, kKindAddArchive, Lang(30040, u"Add to archive..."),
                        Lang(30130, u"Add selected items to an archive."), archivePath);
            AddMenuItem(menu, kKindAddTo, LangFormat(30050, u"&Add to %s", displayName),
                        LangFormat(30060, u"Add selected items to %s", archivePath), archivePath);
        }
    }

    if (selectionFlags_ & kSelectExtract) {
        if (position_ > afterBurn) AddSeparator(menu);
        AddMenuItem(menu, kKindExtractTo, Lang(30070, u"Extract &to"), Lang(30110, u"Extract all files in the archive."), {});
        const std::u16string folder = FolderOf(selection_[0]);
        if (!folder.empty()) {
            AddMenuItem(menu, kKindExtractHere, Lang(30080, u"E&xtract here"),
                        Lang(30100, u"Extract all files in the archive to this folder"), folder);
        }
        AddMenuItem(menu, kKindExtractNames, Lang(30090, u"Extract here using file names for folders"),
                    Lang(30120, u"Extract all files in the archive, using file names for folders"), {});
        if (selection_.size() == 1 && !driveGroupShown) {
            if (installed) {
                AddSeparator(menu);
                AddMountItems(menu, drives);
                AddSeparator(menu);
                AddDriveCountSubmenu(menu, driveCount_);
                AddDriveOptionsSubmenu(menu);
                if (installWanted) {
                    AddSeparator(menu);
                    const std::u16string text = Lang(30530, u"Install Quendravine Virtual Drive(Freeware)...");
                    AddMenuItem(menu, kKindInstallDrive, text, text, {});
                }
                return;
            }
            installWanted = true;
        }
    }

    if (!driveGroupShown) {
        if (installed) {
            if (position_ > afterBurn) AddSeparator(menu);
            AddDriveCountSubmenu(menu, driveCount_);
            AddDriveOptionsSubmenu(menu);
        } else {
            installWanted = true;
        }
    }
    if (installWanted) {
        if (position_ > afterBurn) AddSeparator(menu);
        const std::u16string text = Lang(30530, u"Install Quendravine Virtual Drive(Freeware)...");
        AddMenuItem(menu, kKindInstallDrive, text, text, {});
    }
}

HRESULT CShellExtension::QueryContextMenu(Menu* menu, uint32_t indexMenu, uint32_t idCmdFirst, uint32_t idCmdLast,
                                          uint32_t flags) {
    if ((flags & 0xF) != 0 && (flags & (CMF_VERBSONLY | CMF_EXPLORE)) == 0) return MakeCountResult(0);
    // Each build starts a new table: entries of an earlier menu would answer
    // for ids the file manager now gives to other items.
    entries_.clear();
    selectionFlags_ = 0;
    if (!menu || selection_.empty() || idCmdLast < idCmdFirst) return MakeCountResult(0);
    if (foundation::GetLanguageSetting() != foundation::GetLanguageTable().uiLanguageId) foundation::LoadLanguageFiles();

    size_t position = size_t(indexMenu) + 1;
    if (position + 1 < menu->Count()) {
        size_t at = position;
        while (at < menu->Count() && !menu->At(at)->text.empty()) ++at;
        if (at < menu->Count()) position = at;
    }
    firstId_ = idCmdFirst;
    lastId_ = idCmdLast;
    nextId_ = idCmdFirst;
    MenuItem top;
    top.id = nextId_++;
    top.text = u"Quendravine";
    top.hasBitmap = true;
    top.submenu = std::make_unique<Menu>();
    Menu* sub = top.submenu.get();
    menu->Insert(position, std::move(top));
    position_ = 0;
    FillProductSubmenu(sub);
    return MakeCountResult(nextId_ - idCmdFirst);
}

}  // namespace shellext
