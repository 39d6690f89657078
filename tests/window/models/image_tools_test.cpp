// The image tools' decisions: the destination's extension as the format
// changes, and the checks of OK with the field each refusal returns to.

#include <gtest/gtest.h>

#include <cstdlib>

#include "image/document/image_context.h"
#include "window/models/image_tools.h"

namespace {

namespace fc = image::format_code;
using dialogs::ImageToolMode;

TEST(ImageTools, DestinationFollowsTheFormat) {
    struct Row {
        const char16_t* path;
        int32_t format;
        const char16_t* expected;
    };
    const Row rows[] = {
        {u"/d/a.iso", fc::kXdi, u"/d/a.xdi"},       {u"/d/a.xdi", fc::kIso, u"/d/a.iso"},
        {u"/d/a.b.iso", fc::kBin, u"/d/a.b.bin"},   {u"/d/name", fc::kXdi, u"/d/name.xdi"},
        {u"/d/name", fc::kIso, u"/d/name"},         {u"/d.x/name", fc::kBin, u"/d.x/name"},
        {u"", fc::kXdi, u""},
    };
    for (const Row& row : rows) EXPECT_EQ(dialogs::WithFormatExtension(row.path, row.format), row.expected);
}

TEST(ImageTools, OkRefusesWithTheFieldToReturnTo) {
    ::setenv("QV_ANSI_CODEPAGE", "1252", 1);
    struct Row {
        const char* name;
        dialogs::ImageToolEntries entries;
        bool ok;
        int focus;
        std::string password;
    };
    auto entries = [](ImageToolMode mode, std::u16string s, std::u16string d, int32_t format, int32_t sourceFormat,
                      bool on, std::u16string p, std::u16string q) {
        dialogs::ImageToolEntries e;
        e.mode = mode;
        e.source = std::move(s);
        e.destination = std::move(d);
        e.format = format;
        e.sourceFormat = sourceFormat;
        e.passwordOn = on;
        e.password = std::move(p);
        e.passwordAgain = std::move(q);
        return e;
    };
    const auto C = ImageToolMode::Compress;
    const auto V = ImageToolMode::Convert;
    const Row rows[] = {
        {"no source", entries(V, u"", u"/o.iso", fc::kIso, -1, false, u"", u""), false, 1019, ""},
        {"no destination", entries(V, u"/s.bin", u"", fc::kIso, fc::kBin, false, u"", u""), false, 1515, ""},
        {"the same name", entries(V, u"/s.iso", u"/s.iso", fc::kXdi, fc::kIso, false, u"", u""), false, 1019, ""},
        {"ISO to ISO needs nothing", entries(V, u"/s.iso", u"/o.iso", fc::kIso, fc::kIso, false, u"", u""), false,
         1515, ""},
        {"XDI to XDI compresses again", entries(C, u"/s.xdi", u"/o.xdi", fc::kXdi, fc::kXdi, false, u"", u""), true, 0,
         ""},
        {"passwords differ", entries(C, u"/s.iso", u"/o.xdi", fc::kXdi, fc::kIso, true, u"a", u"b"), false, 1134, ""},
        {"compress: an empty password", entries(C, u"/s.iso", u"/o.xdi", fc::kXdi, fc::kIso, true, u"", u""), false,
         1134, ""},
        {"XDI takes 64 bytes, not 65",
         entries(C, u"/s.iso", u"/o.xdi", fc::kXdi, fc::kIso, true, std::u16string(65, u'p'), std::u16string(65, u'p')),
         false, 1134, ""},
        {"a character 1252 lacks", entries(C, u"/s.iso", u"/o.xdi", fc::kXdi, fc::kIso, true, u"\u5bc6", u"\u5bc6"),
         false, 1134, ""},
        {"a password for XDI", entries(V, u"/s.iso", u"/o.xdi", fc::kXdi, fc::kIso, true, u"p\u00e4ss", u"p\u00e4ss"),
         true, 0, "p\xE4ss"},
        {"convert: no password is none", entries(V, u"/s.iso", u"/o.xdi", fc::kXdi, fc::kIso, false, u"", u""), true, 0,
         ""},
        {"decompress checks nothing", entries(ImageToolMode::Decompress, u"", u"", fc::kIso, -1, false, u"", u""), true,
         0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const dialogs::ImageToolVerdict v = dialogs::CheckImageToolEntries(row.entries);
        EXPECT_EQ(v.ok, row.ok);
        EXPECT_EQ(v.focusControl, row.focus);
        EXPECT_EQ(v.password, row.password);
        EXPECT_EQ(v.message.empty(), row.ok);
    }
    ::unsetenv("QV_ANSI_CODEPAGE");
}

}  // namespace
