#include "vdrive/virtual_drives.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/open_document.h"
#include "app/volume_set_check.h"
#include "foundation/console.h"
#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "foundation/operation_status.h"
#include "containers/archive/arc_link.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/format.h"
#include "platform/text.h"
#include "foundation/settings.h"
#include "vdrive/drive_channel.h"
#include "vdrive/drive_options.h"
#include "vdrive/drive_users.h"

namespace vdrive {
namespace {

constexpr const char* kMountAttribute = "user.quendravine.mount";

const VirtualDriveEntry* FindLetter(const std::vector<VirtualDriveEntry>& drives, char16_t letter) {
    const char16_t wanted = platform::ToUpperChar(letter);
    for (const VirtualDriveEntry& d : drives)
        if (d.letter == wanted) return &d;
    return nullptr;
}

bool Succeeded(const std::optional<ChannelReply>& reply) { return reply && reply->status == kStatusOk; }

void ShowMountError(std::u16string_view path, int reason) {
    std::u16string text = platform::Format(u"%s\r\n\r\n%s\r\n", u"Mount archive failed.", path);
    if (reason == 7) text += u"The file size is too large.";
    else if (reason == 8) text += u"The archive is invalid or unsupported.";
    else if (reason == 12) text += u"File can not be found or open.";
    foundation::AppMessageBox(text, foundation::kMbIconStop);
}

}  // namespace

std::vector<VirtualDriveEntry> GetVirtualDriveList() { return ReadDriveTable(); }

bool IsVirtualDriveAvailable(bool report) {
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    const int error = fd < 0 ? errno : 0;
    if (fd >= 0) ::close(fd);
    if (fd >= 0 && HelperRunning()) return true;
    if (report && fd >= 0) {
        // Everything is in place but the helper: that is not an installation
        // fault, and the user can mend it at once.
        foundation::AppMessageBox(u"The Quendravine virtual drive helper is not running.\r\n\r\n"
                                  u"Start it with \"qvhelper &\" and try again.",
                                  foundation::kMbIconInformation);
        return false;
    }
    if (report) {
        foundation::AppMessageBox(
            platform::Format(u"%s (Error Code = %x, %x)",
                             u"Quendravine Virtual Drive is not installed correctly.\r\n\r\nPlease reinstall it.",
                             uint32_t(error + 48), 0u),
            foundation::kMbIconInformation);
    }
    return false;
}

std::u16string GetMountedImagePath(const VirtualDriveEntry& drive) {
    const std::string folder = DriveFolder(drive.letter);
    if (folder.empty()) return {};
    char value[8192];
    const ssize_t n = ::getxattr(folder.c_str(), kMountAttribute, value, sizeof value);
    if (n <= 0) return {};
    return platform::Utf8ToUtf16(std::string_view(value, size_t(n)));
}

std::u16string FormatDriveMenuText(const VirtualDriveEntry& drive) {
    const std::u16string path = GetMountedImagePath(drive);
    return platform::Format(u"Drive [%c:] ", drive.letter) + (path.empty() ? std::u16string(u"<No media>") : path);
}

namespace {

// The password the open was given: the archive library's, else the one an
// encrypted container took (in the archive code page).
std::u16string GivenOpenPassword(const image::ImageContext& ctx) {
    if (ctx.archiveLink && ctx.archiveLink->passwordGiven) return ctx.archiveLink->password;
    const std::string_view bytes(ctx.outputPassword.data(), ::strnlen(ctx.outputPassword.data(), ctx.outputPassword.size()));
    std::u16string text;
    if (!bytes.empty() && !platform::MultiByteToUtf16(platform::AnsiCodePage(), bytes, text))
        text = platform::Utf8ToUtf16(bytes);
    return text;
}

}  // namespace

bool MountOnVirtualDrive(uint32_t number, std::u16string_view path) {
    image::DocumentPtr ctx(app::OpenImageByPath(path, false, !foundation::ConsoleMode, true));
    if (!ctx) {
        if (!foundation::ConsoleMode) ShowMountError(path, 12);
        return false;
    }
    // The drive reads the set by its first volume's path: every volume must
    // be beside it before the mount, or reads would fail later unseen.
    if (app::OpenDocumentVolumesOrAsk(*ctx, path, false, true) != app::kVolumesReady) return false;
    // The helper opens the file again and has no one to ask: the password
    // given here goes along. An image that needed one goes as an archive
    // would, since the image request has no room for it.
    const std::u16string password = GivenOpenPassword(*ctx);
    const bool archive = ctx->formatCode == image::format_code::kArchive ||
                         ctx->formatCode == image::format_code::kMzp || !password.empty();
    const std::optional<RequestBytes> request =
        archive ? MakeMountArchiveRequest(number, path, password) : MakeMountImageRequest(number, path, *ctx);
    ctx.reset();
    const bool mounted = request && Succeeded(SendVirtualDriveRequest(*request));
    if (!mounted && !foundation::ConsoleMode) ShowMountError(path, 13);
    if (mounted) RememberDriveImage(number, path);
    return mounted;
}

bool MountOnDriveLetter(char16_t letter, std::u16string_view path) {
    const std::vector<VirtualDriveEntry> drives = GetVirtualDriveList();
    const VirtualDriveEntry* drive = FindLetter(drives, letter);
    return drive && MountOnVirtualDrive(drive->number, path);
}

bool UnmountVirtualDrive(uint32_t number) {
    if (!Succeeded(SendVirtualDriveRequest(MakeUnmountRequest(number)))) return false;
    RememberDriveImage(number, u"");
    return true;
}

bool UnmountDriveLetter(char16_t letter) {
    const std::vector<VirtualDriveEntry> drives = GetVirtualDriveList();
    const VirtualDriveEntry* drive = FindLetter(drives, letter);
    if (!drive) {
        if (foundation::ConsoleMode)
            foundation::ConsoleWrite(u"Drive[%c:] is not a virtual drive created by Quendravine.\r\n",
                                     platform::ToUpperChar(letter));
        return false;
    }
    if (UnmountVirtualDrive(drive->number)) return true;
    // A drive in use stays mounted: the console says who uses it.
    if (foundation::ConsoleMode) {
        const std::vector<std::u16string> users = FindDriveUsers(DriveFolder(drive->letter));
        if (!users.empty()) {
            std::u16string list;
            for (const std::u16string& user : users) list += (list.empty() ? u"" : u", ") + user;
            foundation::ConsoleWrite(u"Drive[%c:] is in use by: %s\r\n", platform::ToUpperChar(letter), list);
        }
    }
    return false;
}

bool SetVirtualDriveCount(uint32_t count) {
    if (count > kMaxDrives || !Succeeded(SendVirtualDriveRequest(MakeDriveCountRequest(count)))) return false;
    foundation::SetVirtualDriveDword(u"DiskCount", count);
    return true;
}

}  // namespace vdrive
