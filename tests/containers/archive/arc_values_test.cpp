// Property values, names and texts of the archive bridge.

#include <gtest/gtest.h>

#include <climits>

#include "containers/archive/arc_host.h"
#include "containers/archive/arc_values.h"

namespace containers::archive {
namespace {

TEST(ArcValues, DefaultItemNames) {
    const struct {
        const char16_t* name;
        const char16_t* extension;
        const char16_t* add;
        const char16_t* want;
    } rows[] = {
        {u"backup.tar.gz", u"gz", u"", u"backup.tar"},
        {u"data.tgz", u"tgz", u".tar", u"data.tar"},
        {u"archive", u"gz", u"", u"archive~"},
        {u".gz", u"gz", u"", u".gz~"},
        {u"A.TAR.GZ", u"gz", u"", u"A.TAR"},
        {u"name.zip.001", u"001", u"", u"name.zip"},
        {u"trailing.gz \t", u"bz2", u"", u"trailing"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(MakeDefaultItemName(row.name, row.extension, row.add), row.want);
    EXPECT_EQ(ExtractFileName(u"a/b\\c.zip"), u"c.zip");
    EXPECT_EQ(ExtractFileName(u"plain"), u"plain");
}

TEST(ArcValues, NumbersAsText) {
    char16_t buffer[32];
    const struct {
        int64_t value;
        const char16_t* want;
    } rows[] = {{-5, u"-5"}, {0, u"0"}, {INT64_MIN, u"-9223372036854775808"}, {INT64_MAX, u"9223372036854775807"}};
    for (const auto& row : rows) EXPECT_EQ(std::u16string(buffer, Int64ToText(row.value, buffer)), row.want);
    EXPECT_EQ(std::u16string(buffer, UInt64ToText(UINT64_MAX, buffer)), u"18446744073709551615");
}

TEST(ArcValues, ValuesAsText) {
    ASSERT_NE(ArchiveHost(0), nullptr);   // strings come from the library
    // 2024-01-02 03:04:05 UTC as FILETIME ticks.
    const uint64_t ticks = (1704164645ull + 11644473600ull) * 10000000ull;
    struct Row {
        const char* name;
        void (*set)(CPropVar&);
        const char16_t* want;
    };
    static uint64_t t = ticks;
    const Row rows[] = {
        {"empty", [](CPropVar&) {}, u""},
        {"true", [](CPropVar& v) { v.SetBool(true); }, u"+"},
        {"false", [](CPropVar& v) { v.SetBool(false); }, u"-"},
        {"i4", [](CPropVar& v) { v.SetInt32(-5); }, u"-5"},
        {"ui4", [](CPropVar& v) { v.SetUInt32(4000000000u); }, u"4000000000"},
        {"ui8", [](CPropVar& v) { v.SetUInt64(1ull << 40); }, u"1099511627776"},
        {"time", [](CPropVar& v) { v.SetFileTime(t); }, u"2024-01-02 03:04:05"},
        {"text", [](CPropVar& v) { v.SetText(u"na\u00efve \U0001F600"); }, u"na\u00efve \U0001F600"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CPropVar v;
        row.set(v);
        std::u16string text = u"unset";
        ASSERT_TRUE(ConvertPropertyToString(v.get(), text));
        EXPECT_EQ(text, row.want);
    }
    EXPECT_EQ(FileTimeToText(ticks, false, false), u"2024-01-02");
    EXPECT_EQ(FileTimeToText(ticks, true, false), u"2024-01-02 03:04");
    PropVariant odd;
    odd.vt = 0x4242;
    std::u16string text;
    EXPECT_FALSE(ConvertPropertyToString(odd, text));
}

TEST(ArcValues, SettersZeroTheReservedWords) {
    CPropVar v;
    PropVariant* raw = v.Out();
    raw->reserved1 = raw->reserved2 = raw->reserved3 = 0xFFFF;
    raw->vt = vt::kUi4;
    v.SetFileTime(1);
    EXPECT_EQ(v.get().reserved1, 0);
    EXPECT_EQ(v.get().reserved2, 0);
    EXPECT_EQ(v.get().reserved3, 0);
    EXPECT_EQ(v.get().vt, vt::kFileTime);
    PropVariant target;
    target.vt = vt::kUi4;
    ASSERT_EQ(v.MoveTo(&target), kOk);
    EXPECT_EQ(target.vt, vt::kFileTime);
    EXPECT_EQ(v.type(), vt::kEmpty);
    EXPECT_EQ(v.MoveTo(nullptr), kInvalidArg);
}

TEST(ArcValues, WideTextAtTheBoundary) {
    const struct {
        std::wstring wide;
        std::u16string text;
    } rows[] = {
        {L"plain", u"plain"},
        {std::wstring(1, wchar_t(0x1F600)), u"\U0001F600"},
        {std::wstring(1, wchar_t(0xD800)), u"\uFFFD"},       // a lone surrogate as a code point
        {std::wstring(1, wchar_t(0x110000)), u"\uFFFD"},     // past the last code point
    };
    for (const auto& row : rows) EXPECT_EQ(FromWide(row.wide), row.text);
    EXPECT_EQ(ToWide(u"\U0001F600x"), (std::wstring{wchar_t(0x1F600), L'x'}));
    EXPECT_EQ(ToWide(std::u16string(1, char16_t(0xDC00))), std::wstring(1, wchar_t(0xFFFD)));
    EXPECT_EQ(FromWideZ(nullptr), u"");
}

TEST(ArcValues, ErrorCodesBecomeFailures) {
    EXPECT_EQ(FromWin32(2), int32_t(0x80070002u));
    EXPECT_EQ(FromWin32(112), int32_t(0x80070070u));
    EXPECT_EQ(FromWin32(0), kFail);
    EXPECT_LT(FromWin32(1), 0);   // never S_FALSE
}

}  // namespace
}  // namespace containers::archive
