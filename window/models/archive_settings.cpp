#include "window/models/archive_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/language.h"
#include "foundation/messages.h"
#include "image/document/image_context.h"
#include "platform/format.h"
#include "platform/text.h"

namespace dialogs {

ArchiveSettings GetArchiveSettings(const image::ImageContext& ctx) {
    ArchiveSettings s;
    s.splitVolumes = ctx.splitOutput;
    s.pauseAfterVolume = ctx.pauseAfterVolume;
    s.volumeSize = ctx.volumeSize;
    s.passwordEnabled = ctx.passwordEnabled;
    static_assert(sizeof s.password == sizeof ctx.outputPassword);
    s.password = ctx.outputPassword;
    s.password.back() = 0;
    s.comment = ctx.archiveComment.substr(0, kSettingsCommentBytes);
    s.keepEndRecord = ctx.archiveEndRecord;
    s.compressionLevel = ctx.compressionLevel;
    return s;
}

int SetArchiveSettings(image::ImageContext& ctx, const ArchiveSettings& s) {
    int result = 0;
    if (s.splitVolumes != ctx.splitOutput) {
        ctx.splitOutput = s.splitVolumes;
        result = 2;
    }
    if (s.splitVolumes == 1 && s.volumeSize != ctx.volumeSize) {
        ctx.volumeSize = s.volumeSize;
        result = 2;
    }
    ctx.pauseAfterVolume = s.pauseAfterVolume;
    if (std::strncmp(s.password.data(), ctx.outputPassword.data(), kSettingsPasswordBytes) != 0) {
        ctx.outputPassword = s.password;
        ctx.outputPassword.back() = 0;
        result = 2;
    }
    // Image writers encrypt with the write copy, archive writers with the
    // output text: a password set here must reach both, and one removed here
    // must leave neither, or the file is written in the clear (or encrypted)
    // against the user's choice.
    if (s.passwordEnabled != 0 && s.password[0] != 0) {
        ctx.writePassword = ctx.outputPassword;
        ctx.encryptionWanted = 1;
    } else if (ctx.passwordEnabled != 0 && s.passwordEnabled == 0) {
        ctx.outputPassword.fill(0);
        ctx.writePassword.fill(0);
        ctx.encryptionWanted = 0;
    }
    ctx.passwordEnabled = s.passwordEnabled;
    const std::string_view comment = std::string_view(s.comment).substr(0, kSettingsCommentBytes);
    if (comment != ctx.archiveComment) {
        ctx.archiveComment.assign(comment);
        ctx.archiveCommentPresent = comment.empty() ? 0 : 1;
        result = 2;
    }
    if (s.keepEndRecord != ctx.archiveEndRecord) {
        ctx.archiveEndRecord = s.keepEndRecord;
        result = 2;
    }
    if (s.compressionLevel != ctx.compressionLevel) {
        ctx.compressionLevel = s.compressionLevel;
        result = 2;
    }
    return result;
}

namespace {
// The text in the archive code page, as many whole characters as fit in
// `limit` bytes (whatever the code page's character widths are).
std::string CommentBytesWithin(std::u16string_view text, size_t limit) {
    std::string bytes;
    platform::Utf16ToMultiByte(platform::kCodePageAnsi, text, bytes);
    if (bytes.size() <= limit) return bytes;
    size_t fits = 0, over = text.size();
    while (over - fits > 1) {
        const size_t mid = fits + (over - fits) / 2;
        std::string part;
        platform::Utf16ToMultiByte(platform::kCodePageAnsi, text.substr(0, mid), part);
        (part.size() <= limit ? fits : over) = mid;
    }
    // A surrogate pair stays whole.
    if (fits > 0 && (text[fits - 1] & 0xFC00) == 0xD800) --fits;
    bytes.clear();
    platform::Utf16ToMultiByte(platform::kCodePageAnsi, text.substr(0, fits), bytes);
    return bytes;
}

std::u16string CommentBytesToText(std::string_view bytes) {
    std::u16string text;
    if (!platform::MultiByteToUtf16(platform::kCodePageAnsi, bytes, text)) text.clear();
    return text;
}
}  // namespace

std::u16string CommentText(const ArchiveSettings& settings) { return CommentBytesToText(settings.comment); }

void SetCommentText(ArchiveSettings& settings, std::u16string_view text) {
    text = text.substr(0, kMaxCommentChars);
    if (text.size() == kMaxCommentChars && (text.back() & 0xFC00) == 0xD800) text.remove_suffix(1);
    settings.comment = CommentBytesWithin(text, kSettingsCommentBytes);
}

std::optional<std::u16string> LoadCommentFile(std::u16string_view path) {
    // Only a regular file is read: a FIFO or device chosen by mistake would
    // block the window (or never end), so the open does not wait for a writer
    // and anything else is refused after it.
    const int fd = ::open(platform::Utf16ToUtf8(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string bytes(kSettingsCommentBytes, '\0');
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got, off_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        got += size_t(n);
    }
    ::close(fd);
    bytes.resize(got);
    // Comment files are mostly written by today's editors: UTF-8 (with or
    // without its mark) first, the ANSI code page for anything else.
    std::string_view view(bytes);
    if (view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
    std::u16string text;
    if (platform::Utf8ToUtf16Strict(view, text)) return text;
    return CommentBytesToText(bytes);
}

PasswordCheck CheckPasswordText(std::u16string_view password, std::array<char, kSettingsPasswordBytes>& destination,
                                size_t maxLength) {
    std::string bytes;
    const PasswordCheck check =
        foundation::PasswordToArchiveBytes(password, std::min(maxLength, kSettingsPasswordBytes - 1), bytes);
    if (check != PasswordCheck::Ok) return check;
    destination.fill(0);
    std::memcpy(destination.data(), bytes.data(), bytes.size());
    return PasswordCheck::Ok;
}

bool CheckPassword(std::u16string_view password, std::array<char, kSettingsPasswordBytes>& destination, bool quiet,
                   size_t maxLength) {
    const PasswordCheck check = CheckPasswordText(password, destination, maxLength);
    if (check == PasswordCheck::Ok) return true;
    if (!quiet) foundation::ReportPasswordLength(check, maxLength);
    return false;
}

}  // namespace dialogs
