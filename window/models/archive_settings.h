#pragma once
// The writing settings of a document as one value record: what the save
// dialogs edit (volumes, password, comment, compression) is copied out of the
// document, edited, and written back, and writing back tells whether anything
// that needs a new save changed. Every typed password enters through
// CheckPassword.

#include "foundation/password_text.h"
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace image {
struct ImageContext;
}

namespace dialogs {

constexpr size_t kSettingsPasswordBytes = 257;
constexpr size_t kSettingsCommentBytes = 65536;
constexpr size_t kMaxSettingsPasswordLength = 256;
constexpr size_t kMaxCommentChars = 65535;

struct ArchiveSettings {
    int32_t splitVolumes = 0;
    int32_t pauseAfterVolume = 0;
    int64_t volumeSize = 0;                 // -1 "Autodetect", 0 not set
    int32_t passwordEnabled = 0;
    std::array<char, kSettingsPasswordBytes> password{};   // archive code page, NUL-terminated
    std::string comment;                    // archive code page, at most kSettingsCommentBytes
    int32_t keepEndRecord = 0;
    int32_t compressionLevel = 0;           // 0 Normal, 1 Better, 2 Best(slowest)
};

ArchiveSettings GetArchiveSettings(const image::ImageContext& ctx);
// 2 when something that needs a new save changed (the split flag, the volume
// size of a split document, the password, the comment, the end record, the
// compression level), else 0. The pause and password-enabled flags are
// stored without counting; without splitting the old volume size stays.
int SetArchiveSettings(image::ImageContext& ctx, const ArchiveSettings& settings);

// The comment as the user edits it (wide text) and as it is stored (the
// archive code page, at most kSettingsCommentBytes bytes, never ending in a
// cut character). Storing cuts the text to kMaxCommentChars characters first.
std::u16string CommentText(const ArchiveSettings& settings);
void SetCommentText(ArchiveSettings& settings, std::u16string_view text);
// At most the first kSettingsCommentBytes bytes of a file as comment text;
// none when the file cannot be opened or read.
std::optional<std::u16string> LoadCommentFile(std::u16string_view path);

using foundation::PasswordCheck;
// The password in the archive code page, 1..maxLength bytes, into destination
// (left alone otherwise); a character the code page cannot hold, or a NUL,
// refuses it (foundation/password_text.h).
PasswordCheck CheckPasswordText(std::u16string_view password, std::array<char, kSettingsPasswordBytes>& destination,
                                size_t maxLength);
// The same, telling the user why a password was refused unless quiet.
bool CheckPassword(std::u16string_view password, std::array<char, kSettingsPasswordBytes>& destination, bool quiet,
                   size_t maxLength);

}  // namespace dialogs
