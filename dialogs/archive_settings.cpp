#include "dialogs/archive_settings.h"

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

PasswordCheck CheckPasswordText(std::u16string_view password, std::array<char, kSettingsPasswordBytes>& destination,
                                size_t maxLength) {
    std::string bytes;
    platform::Utf16ToMultiByte(platform::kCodePageAnsi, password, bytes);
    if (bytes.empty()) return PasswordCheck::Empty;
    if (bytes.size() > maxLength || bytes.size() >= kSettingsPasswordBytes) return PasswordCheck::TooLong;
    destination.fill(0);
    std::memcpy(destination.data(), bytes.data(), bytes.size());
    return PasswordCheck::Ok;
}

bool CheckPassword(std::u16string_view password, std::array<char, kSettingsPasswordBytes>& destination, bool quiet,
                   size_t maxLength) {
    const PasswordCheck check = CheckPasswordText(password, destination, maxLength);
    if (check == PasswordCheck::Ok) return true;
    if (!quiet) {
        const std::u16string text =
            check == PasswordCheck::Empty
                ? foundation::GetLangString(30640, u"Please input the password.")
                : platform::Format(foundation::GetLangString(
                                       30650, u"The password is too long. The maximum length is %d characters."),
                                   int(maxLength));
        foundation::AppMessageBox(text, foundation::kMbOk | foundation::kMbIconInformation);
    }
    return false;
}

}  // namespace dialogs
