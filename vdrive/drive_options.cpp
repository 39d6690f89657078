#include "vdrive/drive_options.h"

#include <unistd.h>

#include <optional>

#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "foundation/programs.h"
#include "foundation/settings.h"
#include "platform/folders.h"
#include "platform/format.h"
#include "platform/staged_file.h"
#include "platform/text.h"
#include "vdrive/autostart_entry.h"
#include "vdrive/drive_channel.h"
#include "vdrive/virtual_drives.h"

namespace vdrive {
namespace {

std::u16string ImageNameKey(uint32_t number) { return platform::Format(u"%s%d", u"ImageName", int(number)); }

std::string AutostartEntryPath() {
    std::string config;
    if (!platform::GetConfigFolderUtf8(config)) return {};
    // The configuration folder is "<XDG config>/quendravine": the desktop's
    // autostart folder lies beside it.
    const size_t slash = config.find_last_of('/');
    return (slash == std::string::npos ? config : config.substr(0, slash)) + "/autostart/qvhelper.desktop";
}

}  // namespace

uint32_t GetVirtualDriveOptions() { return foundation::GetVirtualDriveDword(u"Flags", 1); }

void SetVirtualDriveOptions(uint32_t flags) {
    foundation::SetVirtualDriveDword(u"Flags", flags);
    const std::string entry = AutostartEntryPath();
    if (entry.empty()) return;
    if (flags & kOptionAutostart) {
        const std::u16string install = foundation::GetVirtualDriveInstallDir();
        if (install.empty()) return;
        const std::string helper = platform::Utf16ToUtf8(install) + "/qvhelper";
        const std::optional<std::string> text = AutostartEntryText(helper);
        // The option itself is stored above; a desktop without an autostart
        // folder we may write just does not start the helper at log-in.
        platform::StagedFile file;
        if (text && file.BeginUtf8(entry, {.durable = true, .createFolders = true}) &&
            file.Write(text->data(), text->size()))
            file.Commit();
        if (!HelperRunning()) foundation::StartHelperElevated({});
    } else {
        ::unlink(entry.c_str());
    }
}

void RememberDriveImage(uint32_t number, std::u16string_view path) {
    foundation::SetVirtualDriveString(ImageNameKey(number), path);
}

bool RestoreVirtualDrives() {
    uint32_t count = foundation::GetVirtualDriveDword(u"DiskCount", 1);
    if (count > kMaxDrives) count = 1;
    if (GetVirtualDriveList().size() != count && !SetVirtualDriveCount(count)) return false;
    if (!(GetVirtualDriveOptions() & kOptionAutomount)) return true;
    for (const VirtualDriveEntry& drive : GetVirtualDriveList()) {
        const std::u16string stored = foundation::GetVirtualDriveString(ImageNameKey(drive.number)).value_or(u"");
        if (stored.empty()) {
            UnmountVirtualDrive(drive.number);
        } else if (GetMountedImagePath(drive) != stored && !MountOnVirtualDrive(drive.number, stored)) {
            RememberDriveImage(drive.number, u"");
        }
    }
    return true;
}

bool SetVirtualDriveLetter(uint32_t number, char16_t wanted) {
    const std::vector<VirtualDriveEntry> drives = GetVirtualDriveList();
    auto inUse = [&](char16_t l) {
        for (const VirtualDriveEntry& d : drives)
            if (d.letter == l && d.number != number) return true;
        return false;
    };
    const char16_t asked = platform::ToUpperChar(wanted);
    char16_t chosen = asked >= u'D' && asked <= u'Z' && !inUse(asked) ? asked : 0;
    for (char16_t l = u'D'; !chosen && l <= u'Z'; ++l)
        if (!inUse(l)) chosen = l;
    if (!chosen) return false;
    if (asked != u'A' && asked != chosen) {
        foundation::AppMessageBox(
            platform::Format(u"Drive %d\r\n\r\nThe drive letter [%c:] is already in use. Quendravine will use [%c:] "
                             u"for this drive.",
                             int(number), asked, chosen),
            foundation::kMbIconInformation);
    }
    const auto reply = SendVirtualDriveRequest(MakeDriveLetterRequest(number, chosen));
    return reply && reply->status == kStatusOk;
}

}  // namespace vdrive
