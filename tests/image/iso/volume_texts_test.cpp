// Volume texts and dates: decoding from descriptors genisoimage and xorriso
// wrote, the field writers, and descriptors we build read back by isoinfo and
// xorriso.

#include "image/iso/volume_texts.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/dates.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/iso/iso_reader.h"
#include "platform/text.h"
#include "tests/image/iso_fixtures.h"
#include "tests/support/test_support.h"

namespace image {
namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::array<uint8_t, 2048> SectorOf(const std::vector<uint8_t>& file, size_t sector) {
    std::array<uint8_t, 2048> d{};
    std::memcpy(d.data(), file.data() + sector * 2048, 2048);
    return d;
}

std::string U8(const std::u16string& s) { return platform::Utf16ToUtf8(s); }

// The value after "Label:" in a tool's output, blanks trimmed.
std::string ToolField(const std::string& output, const std::string& label) {
    const size_t at = output.find(label);
    if (at == std::string::npos) return "<missing " + label + ">";
    size_t from = at + label.size();
    const size_t end = output.find('\n', from);
    std::string v = output.substr(from, end - from);
    while (!v.empty() && v.front() == ' ') v.erase(v.begin());
    while (!v.empty() && (v.back() == ' ' || v.back() == '\r')) v.pop_back();
    return v;
}

struct Fixture {
    qvtest::TempDir dir;
    std::string iso;
    Fixture(const std::string& extraOptions, const std::string& label = "VOL") {
        RunOk("mkdir -p " + ShellQuote(dir / "tree") + " && echo x > " + ShellQuote(dir / "tree/a.txt") +
              " && touch -d @1600000000 " + ShellQuote(dir / "tree/a.txt"));
        iso = dir / "g.iso";
        RunOk("cd " + ShellQuote(dir.path()) + " && TZ=UTC genisoimage -quiet -input-charset utf-8 -J -V " +
              ShellQuote(label) + " -sysid SYS -volset VSET -publisher PUB -p PREP -A APP -copyright CPY "
              "-abstract ABS -biblio BIB " + extraOptions + " -o g.iso tree/");
    }
};

TEST(VolumeTexts, PrimaryAndJolietMatchIsoinfo) {
    Fixture f("");
    const auto bytes = qvtest::ReadFileBytes(f.iso);
    const std::string info = RunOk("isoinfo -d -i " + ShellQuote(f.iso));
    const struct {
        int kind;
        const char* label;
    } rows[] = {
        {kVolumeLabel, "Volume id:"}, {kSystemId, "System id:"}, {kVolumeSetId, "Volume set id:"},
        {kPublisherId, "Publisher id:"}, {kPreparerId, "Data preparer id:"},
        {kApplicationId, "Application id:"}, {kCopyrightFileId, "Copyright File id:"},
        {kAbstractFileId, "Abstract File id:"}, {kBibliographicFileId, "Bibliographic File id:"},
    };
    const auto primary = SectorOf(bytes, 16);
    const auto joliet = SectorOf(bytes, 17);
    ASSERT_EQ(joliet[0], 2);
    const VolumeTexts p = DecodePrimaryVolumeTexts(primary);
    const VolumeTexts j = DecodeJolietVolumeTexts(joliet);
    for (const auto& row : rows) {
        EXPECT_EQ(U8(p[row.kind]), ToolField(info, row.label)) << row.label;
        EXPECT_EQ(U8(j[row.kind]), ToolField(info, row.label)) << row.label;
    }
}

TEST(VolumeTexts, DatesMatchXorrisoVolumeDates) {
    qvtest::TempDir dir;
    RunOk("mkdir -p " + ShellQuote(dir / "d") + " && echo x > " + ShellQuote(dir / "d/a"));
    const std::string iso = dir / "x.iso";
    RunOk("cd " + ShellQuote(dir.path()) + " && TZ=UTC xorriso -outdev x.iso -volume_date c 2011120514223000 "
          "-volume_date m 2012010100000000 -volume_date x 2030063023595900 -volume_date f 2013031504050600 "
          "-map d / >/dev/null 2>&1");
    const auto pvd = SectorOf(qvtest::ReadFileBytes(iso), 16);
    const VolumeDates dates = DecodeVolumeDates(pvd);
    const std::string info = RunOk("xorriso -indev " + ShellQuote(iso) + " -pvd_info 2>/dev/null");
    auto digits = [](int64_t t) {
        const std::string s = RunOk("TZ=UTC date -u -d @" + std::to_string(t) + " +%Y%m%d%H%M%S00");
        return s.substr(0, 16);
    };
    EXPECT_EQ(digits(dates.creation), ToolField(info, "Creation Time:"));
    EXPECT_EQ(digits(dates.modification), ToolField(info, "Modif. Time  :"));
    EXPECT_EQ(digits(dates.expiration), ToolField(info, "Expir. Time  :"));
    EXPECT_EQ(digits(dates.effective), ToolField(info, "Eff. Time    :"));
}

TEST(VolumeTexts, FieldWriters) {
    std::array<uint8_t, 32> a{};
    EXPECT_EQ(PutVolumeTextA(a, std::u16string(40, u'L')), 32u);
    EXPECT_EQ(std::string(a.begin(), a.end()), std::string(32, 'L'));
    EXPECT_EQ(PutVolumeTextA(a, u"AB"), 2u);
    EXPECT_EQ(std::string(a.begin(), a.end()), "AB" + std::string(30, ' '));

    std::array<uint8_t, 32> w{};
    PutVolumeTextW(w, std::u16string(40, u'L'));   // 16 characters fit
    for (size_t i = 0; i < 32; i += 2) EXPECT_EQ(w[i + 1], 'L');
    PutVolumeTextW(w, u"A");
    EXPECT_EQ(w[0], 0);
    EXPECT_EQ(w[1], 'A');
    EXPECT_EQ(w[2], 0);
    EXPECT_EQ(w[3], 0x20);

    std::array<uint8_t, 17> date{};
    date.fill(0xAA);
    PutVolumeDate(date, 0);
    EXPECT_EQ(std::string(date.begin(), date.begin() + 16), std::string(16, '0'));
    EXPECT_EQ(date[16], 0);
}

// A character the code page lacks becomes "?" and the rest of the text
// stays; names in the code page come back whole.
TEST(VolumeTexts, CodePageTexts) {
    setenv("QV_ANSI_CODEPAGE", "1252", 1);
    std::array<uint8_t, 32> a{};
    EXPECT_EQ(PutVolumeTextA(a, u"Caf\u00E9 \u4E2D B"), 8u);
    EXPECT_EQ(std::string(a.begin(), a.begin() + 8), "Caf\xE9 ? B");
    std::array<uint8_t, 2048> d{};
    std::memcpy(d.data() + 40, a.data(), 32);
    EXPECT_EQ(DecodePrimaryVolumeTexts(d)[kVolumeLabel], u"Caf\u00E9 ? B");
    unsetenv("QV_ANSI_CODEPAGE");
}

TEST(VolumeTexts, AllSpaceLabelIsEmpty) {
    std::array<uint8_t, 2048> d{};
    std::memset(d.data() + 40, ' ', 32);
    EXPECT_EQ(DecodePrimaryVolumeTexts(d)[kVolumeLabel], u"");
    for (int i = 0; i < 16; ++i) {
        d[40 + 2 * i] = 0;
        d[40 + 2 * i + 1] = ' ';
    }
    EXPECT_EQ(DecodeJolietVolumeTexts(d)[kVolumeLabel], u"");
}

TEST(VolumeTexts, DocumentAccessors) {
    ImageContext ctx;
    ctx.formatCode = format_code::kIso;
    InitNewImageFields(ctx, format_code::kUnknown);
    EXPECT_EQ(GetVolumeField(ctx, kVolumeLabel), u"New ISO");
    EXPECT_EQ(GetVolumeField(ctx, kSystemId), u"Win32");
    EXPECT_EQ(GetVolumeField(ctx, kApplicationId), u"Quendravine");
    EXPECT_EQ(GetVolumeField(ctx, kPublisherId), u"");
    InitNewImageFields(ctx, format_code::kMzp);
    EXPECT_EQ(GetVolumeField(ctx, kVolumeLabel), u"New Archive");

    SetVolumeField(ctx, kPublisherId, std::u16string(600, u'p'));
    EXPECT_EQ(GetVolumeField(ctx, kPublisherId).size(), volume_text::kMaxChars);
    EXPECT_EQ(ctx.volumeFieldsChanged, 1);
    EXPECT_EQ(GetVolumeField(ctx, 9), u"");

    ctx.xboxVolume = 1;
    EXPECT_EQ(GetVolumeField(ctx, kVolumeLabel), u"XBOX DVD");
    ctx.formatCode = format_code::kArchive;
    ctx.imagePath = u"/some/folder/My Backup.tar.zip";
    EXPECT_EQ(GetVolumeField(ctx, kBibliographicFileId), u"My Backup.tar");
}

// Texts set on an opened image and built into its descriptors read back by
// isoinfo and xorriso, with a 40-character label cut to 32 bytes and 16
// Joliet characters.
TEST(VolumeTexts, BuiltDescriptorsReadBackByTools) {
    Fixture f("");
    int code = -1;
    DocumentPtr doc(OpenImageDocument(platform::Utf8ToUtf16(f.iso), u"",
                                      foundation::OpenFileForRead(platform::Utf8ToUtf16(f.iso)), true, 2, &code));
    ASSERT_TRUE(doc) << code;
    const std::u16string label = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd";
    SetVolumeField(*doc, kVolumeLabel, label);
    SetVolumeField(*doc, kPublisherId, u"New Publisher");
    SetVolumeField(*doc, kBibliographicFileId, u"BIBLIO.TXT");

    auto bytes = qvtest::ReadFileBytes(f.iso);
    std::array<uint8_t, 2048> pvd = SectorOf(bytes, 16);
    std::array<uint8_t, 2048> svd = SectorOf(bytes, 17);
    BuildPrimaryVolumeDescriptor(*doc, pvd, true, nullptr);
    BuildJolietVolumeDescriptor(*doc, svd, true, nullptr);
    std::memcpy(bytes.data() + 16 * 2048, pvd.data(), 2048);
    std::memcpy(bytes.data() + 17 * 2048, svd.data(), 2048);
    const std::string out = f.dir / "out.iso";
    qvtest::WriteFileBytes(out, bytes.data(), bytes.size());

    const std::string info = RunOk("isoinfo -d -i " + ShellQuote(out));
    EXPECT_EQ(ToolField(info, "Volume id:"), U8(label.substr(0, 32)));
    EXPECT_EQ(ToolField(info, "Publisher id:"), "New Publisher");
    EXPECT_EQ(ToolField(info, "Bibliographic File id:"), "BIBLIO.TXT");
    const std::string joliet = RunOk("isoinfo -J -d -i " + ShellQuote(out));
    const auto decoded = DecodeJolietVolumeTexts(svd);
    EXPECT_EQ(decoded[kVolumeLabel], label.substr(0, 16));
    EXPECT_EQ(decoded[kPublisherId], u"New Publisher");
    const std::string pvdInfo = RunOk("xorriso -indev " + ShellQuote(out) + " -pvd_info 2>/dev/null");
    EXPECT_EQ(ToolField(pvdInfo, "Volume Id    :"), U8(label.substr(0, 32)));
    EXPECT_EQ(ToolField(pvdInfo, "Publisher Id :"), "New Publisher");
}

// An image whose Joliet descriptor carries other texts than its primary one:
// the Joliet texts, read last, are the document's.
TEST(VolumeTexts, JolietTextsWin) {
    qvtest::TempDir dir;
    isotest::MiniIso m(40);
    m.Descriptor(16, 1, 20, 2048);
    m.Descriptor(17, 2, 21, 2048, "%/@");
    m.Terminator(18);
    PutVolumeTextW(std::span<uint8_t>(m.Sector(17) + 40, 32), u"Joliet Label");
    PutVolumeTextW(std::span<uint8_t>(m.Sector(17) + 318, 128), u"Joliet Publisher");
    std::memcpy(m.Sector(16) + 318, "PRIMARY PUBLISHER", 17);
    const auto root = isotest::Directory({isotest::Record({0}, 20, 2048, 2), isotest::Record({1}, 20, 2048, 2),
                                          isotest::Record(isotest::Id("A;1"), 30, 1, 0)});
    m.Put(20, root);
    m.Put(21, isotest::Directory({isotest::Record({0}, 21, 2048, 2), isotest::Record({1}, 21, 2048, 2),
                                  isotest::Record(isotest::JolietId(u"a"), 30, 1, 0)}));
    m.Write(dir / "m.iso");
    auto doc = isotest::OpenDoc(dir / "m.iso");
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->jolietLevel, 1);
    EXPECT_EQ(GetVolumeField(*doc, kVolumeLabel), u"Joliet Label");
    EXPECT_EQ(GetVolumeField(*doc, kPublisherId), u"Joliet Publisher");
}

TEST(VolumeTexts, NewDescriptorFromScratch) {
    ImageContext ctx;
    ctx.newDocument = 1;
    ctx.formatCode = format_code::kIso;
    InitNewImageFields(ctx, format_code::kIso);
    ctx.creationTime = 1600000000;
    ctx.modificationTime = 1600000000;
    DescriptorLayout layout;
    layout.volumeSpaceBlocks = 200;
    layout.rootRecord[0] = 34;
    std::array<uint8_t, 2048> d{};
    d.fill(0xEE);
    BuildPrimaryVolumeDescriptor(ctx, d, false, &layout);
    EXPECT_EQ(d[0], 1);
    EXPECT_EQ(std::memcmp(d.data() + 1, "CD001", 5), 0);
    EXPECT_EQ(d[881], 1);
    EXPECT_EQ(d[128] | (d[129] << 8), 2048);
    EXPECT_EQ(d[80], 200);
    EXPECT_EQ(std::string(d.begin() + 40, d.begin() + 47), "New ISO");
    EXPECT_EQ(std::string(d.begin() + 8, d.begin() + 13), "Win32");
    SetVolumeField(ctx, kVolumeLabel, u"LABEL");
    SetVolumeField(ctx, kSystemId, u"SYSTEM");
    BuildPrimaryVolumeDescriptor(ctx, d, false, &layout);
    EXPECT_EQ(std::string(d.begin() + 40, d.begin() + 45), "LABEL");
    EXPECT_EQ(std::string(d.begin() + 8, d.begin() + 14), "SYSTEM");
    EXPECT_EQ(std::string(d.begin() + 847, d.begin() + 863), std::string(16, '0'));   // no expiration
    EXPECT_EQ(foundation::IsoVolumeDateToUnixTime(std::span<const uint8_t>(d).subspan(813, 17)), 1600000000);
    EXPECT_EQ(d[1000], 0);   // application use area zeroed
}

}  // namespace
}  // namespace image
