// The Qt-free halves of the save dialogs: volume sizes as typed (values
// checked against numfmt), the text a size is shown as, and the archive
// settings record's copy out of and back into a document.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "window/models/archive_settings.h"
#include "window/models/volume_size.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

TEST(VolumeSize, TypedTextsAgainstNumfmt) {
    const struct {
        const char16_t* typed;
        dialogs::VolumeSizeCheck check;
        const char* numfmt;   // the peer's reading of an accepted size; null: our own value below
        int64_t value;
    } rows[] = {
        {u"10M", dialogs::VolumeSizeCheck::Ok, "10M", 0},
        {u" 2g ", dialogs::VolumeSizeCheck::Ok, "2G", 0},
        {u"10240K", dialogs::VolumeSizeCheck::Ok, "10240K", 0},
        {u"10,485,760", dialogs::VolumeSizeCheck::Ok, "10485760", 0},
        {u"650M - CD-650M", dialogs::VolumeSizeCheck::Ok, "650M", 0},
        {u"2048G", dialogs::VolumeSizeCheck::Ok, "2048G", 0},
        {u"128K", dialogs::VolumeSizeCheck::Ok, "128K", 0},
        {u"autodetect", dialogs::VolumeSizeCheck::Ok, nullptr, -1},
        {u"", dialogs::VolumeSizeCheck::Empty, nullptr, 0},
        {u"  ", dialogs::VolumeSizeCheck::Empty, nullptr, 0},
        {u"100K", dialogs::VolumeSizeCheck::Invalid, nullptr, 0},      // below 128K
        {u"2049G", dialogs::VolumeSizeCheck::Invalid, nullptr, 0},
        {u"99999999999G", dialogs::VolumeSizeCheck::Invalid, nullptr, 0},
        {u"99999999999999999999", dialogs::VolumeSizeCheck::Invalid, nullptr, 0},
        {u"1.5G", dialogs::VolumeSizeCheck::Invalid, nullptr, 0},
        {u"10MB", dialogs::VolumeSizeCheck::Invalid, nullptr, 0},
        {u"K", dialogs::VolumeSizeCheck::Invalid, nullptr, 0},
        {u"0x100000", dialogs::VolumeSizeCheck::Invalid, nullptr, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(platform::Utf16ToUtf8(row.typed));
        int64_t size = 12345;
        EXPECT_EQ(dialogs::ReadVolumeSizeText(row.typed, size), row.check);
        if (row.check != dialogs::VolumeSizeCheck::Ok) {
            EXPECT_EQ(size, 12345);
            continue;
        }
        const int64_t expected =
            row.numfmt ? std::stoll(qvtest::RunOk(std::string("numfmt --from=iec ") + row.numfmt)) : row.value;
        EXPECT_EQ(size, expected);
    }
}

TEST(VolumeSize, ShownTexts) {
    const struct {
        int64_t size;
        const char16_t* shown;
    } rows[] = {
        {0, u""},
        {-1, u"Autodetect"},
        {1457664, u"1,457,664 - 3.5\""},
        {681574400, u"650M - CD-650M"},
        {8547991552, u"8152M - DVD-8.5G"},
        {int64_t(10) << 20, u"10M"},
        {int64_t(4096) << 20, u"4,096M"},
        {1000000, u"1,000,000"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(dialogs::ShowVolumeSize(row.size), row.shown) << row.size;
        // What is shown reads back as the same size.
        int64_t back = 0;
        if (row.size != 0 && row.size >= dialogs::kMinVolumeSize) {
            EXPECT_EQ(dialogs::ReadVolumeSizeText(row.shown, back), dialogs::VolumeSizeCheck::Ok);
            EXPECT_EQ(back, row.size);
        }
    }
    for (const dialogs::VolumeSizePreset& preset : dialogs::VolumeSizePresets()) {
        int64_t back = 0;
        EXPECT_EQ(dialogs::ReadVolumeSizeText(preset.text, back), dialogs::VolumeSizeCheck::Ok);
        EXPECT_EQ(back, preset.bytes);
    }
}

TEST(ArchiveSettings, WritingBackCountsOnlyRealChanges) {
    image::DocumentPtr doc(image::NewIsoDocument());
    ASSERT_TRUE(doc);
    doc->volumeSize = 5 << 20;
    doc->archiveComment = "old comment";
    dialogs::ArchiveSettings s = dialogs::GetArchiveSettings(*doc);
    EXPECT_EQ(dialogs::SetArchiveSettings(*doc, s), 0);

    // Pause and the password switch alone are no change.
    s.pauseAfterVolume = 1;
    s.passwordEnabled = 1;
    EXPECT_EQ(dialogs::SetArchiveSettings(*doc, s), 0);
    EXPECT_EQ(doc->pauseAfterVolume, 1);
    EXPECT_EQ(doc->passwordEnabled, 1);
    // A new size without splitting leaves the old one.
    s.volumeSize = 700 << 20;
    EXPECT_EQ(dialogs::SetArchiveSettings(*doc, s), 0);
    EXPECT_EQ(doc->volumeSize, 5 << 20);
    s.splitVolumes = 1;
    EXPECT_EQ(dialogs::SetArchiveSettings(*doc, s), 2);
    EXPECT_EQ(doc->volumeSize, 700 << 20);

    ASSERT_TRUE(dialogs::CheckPassword(u"pässword", s.password, true, 256));
    EXPECT_EQ(dialogs::SetArchiveSettings(*doc, s), 2);
    EXPECT_EQ(std::string(doc->outputPassword.data()), "p\xE4ssword");   // the archive code page
    // Every writer sees it: the image writers read the write copy.
    EXPECT_EQ(std::string(doc->writePassword.data()), "p\xE4ssword");
    EXPECT_EQ(doc->encryptionWanted, 1);
    s.comment = "new comment";   // same length, other bytes
    EXPECT_EQ(dialogs::SetArchiveSettings(*doc, s), 2);
    EXPECT_EQ(doc->archiveComment, "new comment");
    s.compressionLevel = 3;      // kept as it is
    EXPECT_EQ(dialogs::SetArchiveSettings(*doc, s), 2);
    EXPECT_EQ(doc->compressionLevel, 3);
}

// A password removed on the sheet leaves none for any writer.
TEST(ArchiveSettings, ARemovedPasswordLeavesNoneBehind) {
    image::DocumentPtr doc(image::NewIsoDocument());
    ASSERT_TRUE(doc);
    dialogs::ArchiveSettings s = dialogs::GetArchiveSettings(*doc);
    s.passwordEnabled = 1;
    ASSERT_TRUE(dialogs::CheckPassword(u"secret123", s.password, true, 256));
    EXPECT_EQ(dialogs::SetArchiveSettings(*doc, s), 2);
    EXPECT_STREQ(doc->writePassword.data(), "secret123");
    s.passwordEnabled = 0;
    s.password.fill(0);
    dialogs::SetArchiveSettings(*doc, s);
    EXPECT_EQ(doc->outputPassword[0], 0);
    EXPECT_EQ(doc->writePassword[0], 0);
    EXPECT_EQ(doc->encryptionWanted, 0);
    EXPECT_EQ(doc->passwordEnabled, 0);
}

TEST(ArchiveSettings, PasswordsEnterOnlyWithinTheirLength) {
    std::array<char, dialogs::kSettingsPasswordBytes> stored{};
    std::strcpy(stored.data(), "kept");
    EXPECT_EQ(dialogs::CheckPasswordText(u"", stored, 256), dialogs::PasswordCheck::Empty);
    EXPECT_EQ(dialogs::CheckPasswordText(std::u16string(257, u'a'), stored, 256), dialogs::PasswordCheck::TooLong);
    EXPECT_EQ(dialogs::CheckPasswordText(std::u16string(65, u'a'), stored, 64), dialogs::PasswordCheck::TooLong);
    EXPECT_STREQ(stored.data(), "kept");
    EXPECT_EQ(dialogs::CheckPasswordText(std::u16string(256, u'a'), stored, 256), dialogs::PasswordCheck::Ok);
    EXPECT_EQ(std::string(stored.data()), std::string(256, 'a'));
    // Refused, never stored as "ab??" or cut at the NUL.
    ::setenv("QV_ANSI_CODEPAGE", "1252", 1);
    std::strcpy(stored.data(), "kept");
    EXPECT_EQ(dialogs::CheckPasswordText(u"ab\u5bc6\u7801", stored, 256), dialogs::PasswordCheck::Unmappable);
    EXPECT_EQ(dialogs::CheckPasswordText(std::u16string(u"ab\0cd", 5), stored, 256), dialogs::PasswordCheck::Unmappable);
    EXPECT_STREQ(stored.data(), "kept");
    ::setenv("QV_ANSI_CODEPAGE", "936", 1);
    EXPECT_EQ(dialogs::CheckPasswordText(u"ab\u5bc6\u7801", stored, 256), dialogs::PasswordCheck::Ok);
    EXPECT_EQ(std::string(stored.data()), "ab\xC3\xDC\xC2\xEB");
    ::unsetenv("QV_ANSI_CODEPAGE");
}

// The comment as typed and as stored: cut to 65535 characters, then to the
// bytes the writers keep without halving a character; a file gives at most
// its first 65536 bytes.
TEST(ArchiveSettings, CommentCutsAndFiles) {
    ::setenv("QV_ANSI_CODEPAGE", "65001", 1);
    dialogs::ArchiveSettings s;
    dialogs::SetCommentText(s, std::u16string(70000, u'c'));
    EXPECT_EQ(s.comment.size(), 65535u);
    dialogs::SetCommentText(s, std::u16string(40000, u'\u00e9'));   // two bytes each in UTF-8
    EXPECT_EQ(s.comment.size(), 65536u);
    EXPECT_EQ(dialogs::CommentText(s), std::u16string(32768, u'\u00e9'));
    dialogs::SetCommentText(s, std::u16string(30000, u'\u20ac'));   // three bytes each
    EXPECT_EQ(s.comment.size(), 65535u);
    EXPECT_EQ(dialogs::CommentText(s).size(), 21845u);
    ::setenv("QV_ANSI_CODEPAGE", "1252", 1);
    dialogs::SetCommentText(s, std::u16string(40000, u'\u00e9'));   // one byte each
    EXPECT_EQ(s.comment.size(), 40000u);
    ::unsetenv("QV_ANSI_CODEPAGE");
    dialogs::SetCommentText(s, u"");
    EXPECT_TRUE(s.comment.empty());

    qvtest::TempDir dir;
    qvtest::RunOk("head -c 70000 /dev/zero | tr '\\0' 'x' > " + qvtest::ShellQuote(dir / "long.txt"));
    const std::optional<std::u16string> loaded = dialogs::LoadCommentFile(platform::Utf8ToUtf16(dir / "long.txt"));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded, std::u16string(65536, u'x'));
    EXPECT_FALSE(dialogs::LoadCommentFile(platform::Utf8ToUtf16(dir / "missing.txt")));
    // A FIFO is refused at once (no writer is waited for), a folder too;
    // UTF-8, with or without its mark, is read as UTF-8.
    qvtest::RunOk("mkfifo " + qvtest::ShellQuote(dir / "fifo") + " && mkdir " + qvtest::ShellQuote(dir / "folder") +
                  " && printf '\\357\\273\\277caf\\303\\251' > " + qvtest::ShellQuote(dir / "bom.txt") +
                  " && printf 'caf\\303\\251' > " + qvtest::ShellQuote(dir / "utf8.txt"));
    EXPECT_FALSE(dialogs::LoadCommentFile(platform::Utf8ToUtf16(dir / "fifo")));
    EXPECT_FALSE(dialogs::LoadCommentFile(platform::Utf8ToUtf16(dir / "folder")));
    EXPECT_EQ(dialogs::LoadCommentFile(platform::Utf8ToUtf16(dir / "bom.txt")).value_or(u"-"), u"caf\u00e9");
    EXPECT_EQ(dialogs::LoadCommentFile(platform::Utf8ToUtf16(dir / "utf8.txt")).value_or(u"-"), u"caf\u00e9");
}

}  // namespace
