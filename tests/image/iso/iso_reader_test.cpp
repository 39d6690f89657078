// ISO 9660 and Joliet images made by genisoimage and xorriso, opened as
// documents: our tree, sizes, times and file bytes against isoinfo, iso-info,
// iso-read, 7z and xorriso on the same image.

#include "image/document/session_chooser_services.h"
#include "image/iso/iso_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/messages.h"
#include "foundation/prompt_services.h"
#include "image/iso/volume_texts.h"
#include "tests/image/iso_fixtures.h"
#include "tests/support/fake_services.h"

namespace image {
namespace {

using isotest::Entry;
using isotest::ListTree;
using isotest::OpenDoc;
using isotest::Paths;
using isotest::ToolPaths;
using qvtest::Run;
using qvtest::RunOk;
using qvtest::ShellQuote;

constexpr const char* kTime = "1600000000";   // 2020-09-13 12:26:40 UTC

// A source tree with fixed times; `files` are "path:content" or "path@bytes"
// (random bytes of that size).
std::string MakeTree(const qvtest::TempDir& dir, const std::string& name, const std::vector<std::string>& files) {
    const std::string root = dir / name;
    RunOk("mkdir -p " + ShellQuote(root));
    for (const std::string& f : files) {
        const size_t colon = f.find(':');
        const size_t at = f.find('@');
        const std::string path = root + "/" + f.substr(0, std::min(colon, at));
        RunOk("mkdir -p \"$(dirname " + ShellQuote(path) + ")\"");
        if (f.back() == '/') {
            RunOk("mkdir -p " + ShellQuote(path));
        } else if (at != std::string::npos) {
            RunOk("head -c " + f.substr(at + 1) + " /dev/urandom > " + ShellQuote(path));
        } else {
            qvtest::WriteFileText(path, colon == std::string::npos ? "" : f.substr(colon + 1));
        }
    }
    RunOk("find " + ShellQuote(root) + " -exec touch -h -d @" + kTime + " {} +");
    return root;
}

std::string Genisoimage(const qvtest::TempDir& dir, const std::string& options, const std::string& tree,
                        const std::string& out = "g.iso") {
    RunOk("cd " + ShellQuote(dir.path()) + " && TZ=UTC SOURCE_DATE_EPOCH=" + kTime +
          " genisoimage -quiet -input-charset utf-8 " + options + " -o " + ShellQuote(out) + " " + ShellQuote(tree));
    return dir / out;
}

// "size path" lines of iso-info -f.
std::map<std::string, int64_t> IsoInfoSizes(const std::string& output) {
    std::map<std::string, int64_t> out;
    size_t pos = 0;
    while (pos < output.size()) {
        size_t end = output.find('\n', pos);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(pos, end - pos);
        pos = end + 1;
        const size_t slash = line.find(" /");
        if (slash == std::string::npos) continue;
        const std::string size = line.substr(0, slash);
        const size_t digit = size.find_first_not_of(' ');
        if (digit == std::string::npos || size.find_first_not_of("0123456789", digit) != std::string::npos) continue;
        out[line.substr(slash + 1)] = std::stoll(size);
    }
    return out;
}

std::vector<std::string> SevenZipPaths(const std::string& iso) {
    const std::string out = RunOk("7z l -slt -tIso " + ShellQuote(iso));
    std::vector<std::string> v;
    size_t pos = 0;
    bool first = true;   // the archive itself
    while ((pos = out.find("\nPath = ", pos)) != std::string::npos) {
        pos += 8;
        const size_t end = out.find('\n', pos);
        if (first) {
            first = false;
            continue;
        }
        v.push_back("/" + out.substr(pos, end - pos));
    }
    std::sort(v.begin(), v.end());
    return v;
}

TEST(IsoReader, PlainJolietMatchesTools) {
    qvtest::TempDir dir;
    const std::string tree = MakeTree(dir, "tree", {
        "readme:hello\n", "empty.txt", "sub/Long Name File.txt:world", "sub/deeper/data.bin@5000",
        "sub/deeper/big.bin@300000", "Ünïcödé ファイル.txt:unicode", "dir with space/x.y.z:dots", "emptydir/",
    });
    const std::string iso = Genisoimage(dir,
        "-J -V VOL -sysid SYS -volset VSET -publisher PUB -p PREP -A APP -copyright CPY -abstract ABS -biblio BIB",
        tree);
    int code = -1;
    auto doc = OpenDoc(iso, &code);
    ASSERT_TRUE(doc) << code;
    EXPECT_EQ(doc->formatCode, format_code::kIso);
    EXPECT_EQ(doc->jolietLevel, 3);
    const auto ours = ListTree(*doc);

    // isoinfo writes Joliet names in Latin-1 with "_" for the rest: compare the
    // ASCII names with it, and everything with 7z and iso-info.
    auto ascii = [](std::vector<std::string> v) {
        v.erase(std::remove_if(v.begin(), v.end(), [](const std::string& p) {
                    return std::any_of(p.begin(), p.end(), [](char c) { return (c & 0x80) != 0; });
                }), v.end());
        return v;
    };
    EXPECT_EQ(ascii(Paths(ours)), ascii(ToolPaths(RunOk("isoinfo -J -f -i " + ShellQuote(iso)), true)));
    EXPECT_EQ(Paths(ours), SevenZipPaths(iso));
    const auto sizes = IsoInfoSizes(RunOk("iso-info --no-header --no-rock-ridge -f -i " + ShellQuote(iso)));
    ASSERT_EQ(sizes.size(), ours.size());
    for (const auto& [path, e] : ours) {
        EXPECT_EQ(sizes.at(path), e.size) << path;
        EXPECT_EQ(e.time, 1600000000u) << path;
    }

    for (const auto& [path, e] : ours) {
        if (e.folder) continue;
        const auto bytes = isotest::ItemBytes(*doc, *e.item);
        RunOk("7z e -tIso -so " + ShellQuote(iso) + " " + ShellQuote(path.substr(1)) + " > " + ShellQuote(dir / "z.out"));
        EXPECT_EQ(bytes, qvtest::ReadFileBytes(dir / "z.out")) << path;
        // isoinfo takes Latin-1 names, iso-read no blanks in Joliet names.
        if (std::any_of(path.begin(), path.end(), [](char c) { return (c & 0x80) != 0; })) continue;
        RunOk("isoinfo -J -x " + ShellQuote(path) + " -i " + ShellQuote(iso) + " > " + ShellQuote(dir / "x.out"));
        EXPECT_EQ(bytes, qvtest::ReadFileBytes(dir / "x.out")) << path;
        if (path.find(' ') != std::string::npos) continue;
        RunOk("iso-read -i " + ShellQuote(iso) + " -e " + ShellQuote(path) + " -o " + ShellQuote(dir / "r.out"));
        EXPECT_EQ(bytes, qvtest::ReadFileBytes(dir / "r.out")) << path;
    }

    const std::string info = RunOk("isoinfo -d -i " + ShellQuote(iso));
    const struct {
        int kind;
        const char* value;
    } texts[] = {{kVolumeLabel, "VOL"}, {kSystemId, "SYS"}, {kVolumeSetId, "VSET"}, {kPublisherId, "PUB"},
                 {kPreparerId, "PREP"}, {kApplicationId, "APP"}, {kCopyrightFileId, "CPY"},
                 {kAbstractFileId, "ABS"}, {kBibliographicFileId, "BIB"}};
    for (const auto& t : texts) {
        EXPECT_EQ(platform::Utf16ToUtf8(GetVolumeField(*doc, t.kind)), t.value);
        EXPECT_NE(info.find(std::string(" id: ") + t.value), std::string::npos) << t.value;
    }
    const std::string pvd = RunOk("xorriso -indev " + ShellQuote(iso) + " -pvd_info 2>/dev/null");
    const std::string creation = RunOk("date -u -d @" + std::to_string(doc->creationTime) + " +%Y%m%d%H%M%S");
    EXPECT_NE(pvd.find("Creation Time: " + creation.substr(0, 14)), std::string::npos) << pvd;
    EXPECT_EQ(doc->expirationTime, 0);
    EXPECT_EQ(doc->warningBits, 0);
}

TEST(IsoReader, IsoOnlyNameVariants) {
    qvtest::TempDir dir;
    const std::string tree = MakeTree(dir, "tree", {
        "readme:a", "Mixed.Case.Name.txt:b", "averyveryverylongfilename.html:c", "sub/n1.c:d", "sub/x:e",
    });
    const char* variants[] = {"", "-iso-level 2", "-iso-level 3", "-l -d -N", "-allow-lowercase -relaxed-filenames -iso-level 3"};
    for (const char* options : variants) {
        const std::string iso = Genisoimage(dir, options, tree);
        int code = -1;
        auto doc = OpenDoc(iso, &code);
        ASSERT_TRUE(doc) << options << " " << code;
        EXPECT_EQ(doc->jolietLevel, 0);
        EXPECT_EQ(Paths(ListTree(*doc)), ToolPaths(RunOk("isoinfo -f -i " + ShellQuote(iso)), true)) << options;
    }
}

TEST(IsoReader, LongJolietNames) {
    qvtest::TempDir dir;
    const std::string n64(64, 'a'), n65(65, 'b'), n103(103, 'c');
    const std::string tree = MakeTree(dir, "tree", {n64 + ":1", n65 + ":2", n103 + ".txt", "d/" + n103 + ":3"});
    const std::string g = Genisoimage(dir, "-J -joliet-long", tree);
    RunOk("cd " + ShellQuote(dir.path()) + " && xorriso -outdev x.iso -joliet on -compliance joliet_long_names "
          "-map tree / >/dev/null 2>&1");
    for (const std::string& iso : {g, dir / "x.iso"}) {
        auto doc = OpenDoc(iso);
        ASSERT_TRUE(doc) << iso;
        const auto ours = Paths(ListTree(*doc));
        EXPECT_EQ(ours, ToolPaths(RunOk("isoinfo -J -f -i " + ShellQuote(iso)), true)) << iso;
        EXPECT_TRUE(std::count(ours.begin(), ours.end(), "/" + n64)) << iso;
        EXPECT_TRUE(std::count(ours.begin(), ours.end(), "/" + n65)) << iso;
    }
    // Characters beyond the BMP travel as surrogate pairs.
    const std::string emoji = MakeTree(dir, "emoji", {"x\xF0\x9F\x98\x80y.txt:e"});
    RunOk("cd " + ShellQuote(dir.path()) + " && xorriso -outdev u.iso -joliet on -compliance joliet_utf16 "
          "-map emoji / >/dev/null 2>&1");
    auto doc = OpenDoc(dir / "u.iso");
    ASSERT_TRUE(doc);
    EXPECT_EQ(Paths(ListTree(*doc)), SevenZipPaths(dir / "u.iso"));
    EXPECT_EQ(Paths(ListTree(*doc)), std::vector<std::string>{"/x\xF0\x9F\x98\x80y.txt"});
}

// 110 characters is the longest Joliet name taken; no tool writes one, so the
// directory is written by hand.
TEST(IsoReader, HandWrittenJolietNameOf110) {
    qvtest::TempDir dir;
    isotest::MiniIso m(40);
    m.Descriptor(16, 1, 20, 2048);
    m.Descriptor(17, 2, 21, 2048, "%/E");
    m.Terminator(18);
    m.Put(20, isotest::Directory({isotest::Record({0}, 20, 2048, 2), isotest::Record({1}, 20, 2048, 2),
                                  isotest::Record(isotest::Id("A.TXT;1"), 30, 3, 0)}));
    const std::u16string n110(110, u'n'), n111 = std::u16string(110, u'm') + u"X";
    m.Put(21, isotest::Directory({isotest::Record({0}, 21, 2048, 2), isotest::Record({1}, 21, 2048, 2),
                                  isotest::Record(isotest::JolietId(n110), 30, 3, 0),
                                  isotest::Record(isotest::JolietId(n111), 31, 3, 0)}));
    m.Put(30, {'a', 'b', 'c'});
    const std::string iso = dir / "m.iso";
    m.Write(iso);
    auto doc = OpenDoc(iso);
    ASSERT_TRUE(doc);
    const auto paths = Paths(ListTree(*doc));
    EXPECT_EQ(paths, (std::vector<std::string>{"/" + std::string(110, 'm'), "/" + std::string(110, 'n')}));
}

// Runs a python3 script over an image in place (sys.argv[1]); for layouts no
// tool writes, made from a tool's image.
void PatchImage(const qvtest::TempDir& dir, const std::string& iso, const std::string& script) {
    qvtest::WriteFileText(dir / "patch.py", script);
    RunOk("python3 " + ShellQuote(dir / "patch.py") + " " + ShellQuote(iso));
}

// A Joliet identifier of length 0: the file is listed (as "_"), as isoinfo
// and 7z list it. genisoimage 1.1.11 refuses a lone name beyond the BMP under
// -input-charset utf-8, and xorriso writes it as "_", so the empty identifier
// is patched into a genisoimage image.
TEST(IsoReader, EmptyJolietIdentifierKeepsItsFile) {
    qvtest::TempDir dir;
    const std::string tree = MakeTree(dir, "tree", {"e:smile", "plain.txt:x"});
    const std::string iso = Genisoimage(dir, "-J", tree);
    PatchImage(dir, iso, R"(import struct, sys
d = bytearray(open(sys.argv[1], 'rb').read())
svd = 17 * 2048
assert d[svd] == 2
extent, length = struct.unpack_from('<I', d, svd + 158)[0], struct.unpack_from('<I', d, svd + 166)[0]
at, patched = extent * 2048, 0
while d[at]:
    if d[at + 33:at + 33 + d[at + 32]] == b'\x00e':
        d[at + 32] = 0
        patched += 1
    at += d[at]
assert patched == 1
open(sys.argv[1], 'wb').write(d)
)");
    auto doc = OpenDoc(iso);
    ASSERT_TRUE(doc);
    const auto ours = ListTree(*doc);
    EXPECT_EQ(Paths(ours), (std::vector<std::string>{"/_", "/plain.txt"}));
    ASSERT_TRUE(ours.count("/_"));
    EXPECT_EQ(isotest::ItemBytes(*doc, *ours.at("/_").item), (std::vector<uint8_t>{'s', 'm', 'i', 'l', 'e'}));
    EXPECT_EQ(doc->warningBits & foundation::image_warning::kDirectoryError, 0u);
    // isoinfo shows the name empty ("/"), 7z after the image: both list two files.
    EXPECT_EQ(ToolPaths(RunOk("isoinfo -J -f -i " + ShellQuote(iso)), true).size(), 2u);
    EXPECT_EQ(SevenZipPaths(iso).size(), 2u);
}

// The Joliet descriptor before the primary one: the Joliet tree is read with
// Joliet names, exactly as when the primary comes first.
TEST(IsoReader, JolietDescriptorBeforePrimary) {
    qvtest::TempDir dir;
    const std::string tree = MakeTree(dir, "tree", {"Mixed Case Name.txt:a", "sub/lower.txt:b"});
    const std::string iso = Genisoimage(dir, "-J -V VOL", tree);
    auto inOrder = OpenDoc(iso);
    ASSERT_TRUE(inOrder);
    const auto expected = Paths(ListTree(*inOrder));
    EXPECT_EQ(expected, (std::vector<std::string>{"/Mixed Case Name.txt", "/sub", "/sub/lower.txt"}));
    PatchImage(dir, iso, R"(import sys
d = bytearray(open(sys.argv[1], 'rb').read())
pvd, svd = d[16 * 2048:17 * 2048], d[17 * 2048:18 * 2048]
assert pvd[0] == 1 and svd[0] == 2
d[16 * 2048:17 * 2048], d[17 * 2048:18 * 2048] = svd, pvd
open(sys.argv[1], 'wb').write(d)
)");
    int code = -1;
    auto doc = OpenDoc(iso, &code);
    ASSERT_TRUE(doc) << code;
    EXPECT_EQ(doc->jolietLevel, 3);
    EXPECT_EQ(doc->jolietDescriptorSector, 16);
    EXPECT_EQ(doc->primaryDescriptorSector, 17);
    EXPECT_EQ(Paths(ListTree(*doc)), expected);
    EXPECT_EQ(platform::Utf16ToUtf8(GetVolumeField(*doc, kVolumeLabel)), "VOL");
    EXPECT_EQ(doc->rootTime, inOrder->rootTime);
}

// Names made on Linux that differ only in case: a path finds the file spelled
// so, with the bytes isoinfo extracts for it, in genisoimage's and xorriso's
// Joliet trees.
TEST(IsoReader, NamesDifferingOnlyInCaseAreFoundByTheirExactPath) {
    qvtest::TempDir dir;
    const std::string tree = MakeTree(dir, "tree", {"Docs/a.txt:upper", "docs/a.txt:lower", "file:lf", "FILE:UF"});
    const std::string g = Genisoimage(dir, "-J", tree);
    RunOk("cd " + ShellQuote(dir.path()) + " && xorriso -outdev x.iso -joliet on -map tree / >/dev/null 2>&1");
    for (const std::string& iso : {g, dir / "x.iso"}) {
        auto doc = OpenDoc(iso);
        ASSERT_TRUE(doc) << iso;
        for (const char* path : {"/Docs/a.txt", "/docs/a.txt", "/file", "/FILE"}) {
            ImageItem* item = FindItemByPath(doc.get(), nullptr, platform::Utf8ToUtf16(path));
            ASSERT_TRUE(item) << iso << " " << path;
            RunOk("isoinfo -J -x " + ShellQuote(path) + " -i " + ShellQuote(iso) + " > " + ShellQuote(dir / "x.out"));
            EXPECT_EQ(isotest::ItemBytes(*doc, *item), qvtest::ReadFileBytes(dir / "x.out")) << iso << " " << path;
        }
    }
}

TEST(IsoReader, RockRidgeIsNotRead) {
    qvtest::TempDir dir;
    std::vector<std::string> files = {"lower case name.txt:a"};
    std::string deep;
    for (int i = 1; i <= 10; ++i) deep += "level" + std::to_string(i) + "/";
    files.push_back(deep + "bottom.txt:b");
    const std::string tree = MakeTree(dir, "tree", files);

    // With Joliet: the Joliet names.
    const std::string rj = Genisoimage(dir, "-R -J", tree, "rj.iso");
    auto doc = OpenDoc(rj);
    ASSERT_TRUE(doc);
    EXPECT_EQ(Paths(ListTree(*doc)), ToolPaths(RunOk("isoinfo -J -f -i " + ShellQuote(rj)), true));
    EXPECT_TRUE(ListTree(*doc).count("/lower case name.txt"));

    // Rock Ridge only: the uppercase ECMA-119 names, and the relocation
    // directory that holds what was deeper than 8 levels.
    const std::string r = Genisoimage(dir, "-R", tree, "r.iso");
    doc = OpenDoc(r);
    ASSERT_TRUE(doc);
    const auto ours = ListTree(*doc);
    EXPECT_EQ(Paths(ours), ToolPaths(RunOk("isoinfo -f -i " + ShellQuote(r)), true));
    EXPECT_TRUE(ours.count("/LOWER_CA.TXT"));
    EXPECT_TRUE(ours.count("/RR_MOVED"));

    // xorriso's own format: Rock Ridge without Joliet.
    RunOk("cd " + ShellQuote(dir.path()) + " && xorriso -outdev x.iso -map tree / >/dev/null 2>&1");
    doc = OpenDoc(dir / "x.iso");
    ASSERT_TRUE(doc);
    EXPECT_EQ(Paths(ListTree(*doc)), ToolPaths(RunOk("isoinfo -f -i " + ShellQuote(dir / "x.iso")), true));
}

TEST(IsoReader, TwelveLevelsDeep) {
    qvtest::TempDir dir;
    std::string deep;
    for (int i = 1; i <= 12; ++i) deep += "d" + std::to_string(i) + "/";
    const std::string tree = MakeTree(dir, "tree", {deep + "leaf.txt:x"});
    const std::string expected = "/" + deep + "leaf.txt";
    for (const char* options : {"-J -D", "-R -J"}) {
        auto doc = OpenDoc(Genisoimage(dir, options, tree));
        ASSERT_TRUE(doc) << options;
        EXPECT_TRUE(ListTree(*doc).count(expected)) << options;
    }
    // No Joliet, no relocation: the ISO tree itself is 12 deep.
    const std::string d = Genisoimage(dir, "-D", tree);
    auto doc = OpenDoc(d);
    ASSERT_TRUE(doc);
    EXPECT_EQ(Paths(ListTree(*doc)), ToolPaths(RunOk("isoinfo -f -i " + ShellQuote(d)), true));
    std::string upper = expected;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_TRUE(ListTree(*doc).count(upper)) << upper;

    RunOk("cd " + ShellQuote(dir.path()) + " && xorriso -outdev x.iso -compliance deep_paths:long_paths "
          "-rockridge off -map tree / >/dev/null 2>&1");
    doc = OpenDoc(dir / "x.iso");
    ASSERT_TRUE(doc);
    EXPECT_EQ(Paths(ListTree(*doc)), ToolPaths(RunOk("isoinfo -f -i " + ShellQuote(dir / "x.iso")), true));
}

TEST(IsoReader, HiddenFiles) {
    qvtest::TempDir dir;
    const std::string tree = MakeTree(dir, "tree", {"secret.txt:s", "x:x", "y:y", "plain:p"});
    auto doc = OpenDoc(Genisoimage(dir, "-J -hidden 'secret*'", tree));
    ASSERT_TRUE(doc);
    auto ours = ListTree(*doc);
    ASSERT_TRUE(ours.count("/secret.txt"));   // the existence bit is kept, not filtered
    EXPECT_EQ(ours["/secret.txt"].flags & 1, 1);
    EXPECT_EQ(ours["/plain"].flags & 1, 0);

    doc = OpenDoc(Genisoimage(dir, "-J -hide x -hide-joliet y", tree));
    ASSERT_TRUE(doc);
    ours = ListTree(*doc);
    EXPECT_TRUE(ours.count("/x"));
    EXPECT_FALSE(ours.count("/y"));
}

// A file split into two records with the multi-extent flag on the first is one
// item of the summed size. No small image from a tool has one, so the
// directory of a genisoimage image is rewritten by hand; xorriso confirms it.
TEST(IsoReader, MultiExtentFileIsOneItem) {
    qvtest::TempDir dir;
    const std::string tree = MakeTree(dir, "tree", {"big.bin@6144"});
    const std::string iso = Genisoimage(dir, "", tree);
    auto bytes = qvtest::ReadFileBytes(iso);
    const uint32_t rootExtent = foundation::ReadLE32(&bytes[16 * 2048 + 156 + 2]);
    // The root's third record is BIG.BIN;1.
    uint8_t* root = &bytes[rootExtent * 2048];
    const size_t fileRecord = root[0] + root[root[0]];
    ASSERT_EQ(std::string(reinterpret_cast<char*>(root + fileRecord + 33), 9), "BIG.BIN;1");
    const uint32_t extent = foundation::ReadLE32(root + fileRecord + 2);
    auto first = isotest::Record(isotest::Id("BIG.BIN;1"), extent, 4096, 0x80);
    auto second = isotest::Record(isotest::Id("BIG.BIN;1"), extent + 2, 2048, 0);
    std::memset(root + fileRecord, 0, 2048 - fileRecord);
    std::memcpy(root + fileRecord, first.data(), first.size());
    std::memcpy(root + fileRecord + first.size(), second.data(), second.size());
    const std::string split = dir / "split.iso";
    qvtest::WriteFileBytes(split, bytes.data(), bytes.size());
    const std::string lsdl = RunOk("xorriso -indev " + ShellQuote(split) + " -lsl / 2>/dev/null");
    ASSERT_NE(lsdl.find(" 6144 "), std::string::npos) << lsdl;
    // iso-info lists the two records of the one file.
    const std::string isoInfo = RunOk("iso-info -l --no-header -i " + ShellQuote(split));
    ASSERT_NE(isoInfo.find("4096 Jan 02 2020 03:04:05  big.bin"), std::string::npos) << isoInfo;
    ASSERT_NE(isoInfo.find("2048 Jan 02 2020 03:04:05  big.bin"), std::string::npos) << isoInfo;

    auto doc = OpenDoc(split);
    ASSERT_TRUE(doc);
    const auto ours = ListTree(*doc);
    ASSERT_EQ(ours.size(), 1u);
    const Entry& e = ours.at("/BIG.BIN");
    EXPECT_EQ(e.size, 6144);
    EXPECT_EQ(e.flags & 0x80, 0);   // a saved copy of the record head claims no continuation
    EXPECT_EQ(isotest::ItemBytes(*doc, *e.item), qvtest::ReadFileBytes(tree + "/big.bin"));
}

TEST(IsoReader, MultisessionGrownByXorriso) {
    qvtest::TempDir dir;
    MakeTree(dir, "d1", {"one.txt:1"});
    MakeTree(dir, "d2", {"two.txt:2"});
    RunOk("cd " + ShellQuote(dir.path()) + " && xorriso -dev ms.iso -joliet on -map d1 /d1 -commit "
          "-map d2 /d2 -commit >/dev/null 2>&1");
    const std::string toc = RunOk("xorriso -indev " + ShellQuote(dir / "ms.iso") + " -toc 2>&1");
    ASSERT_NE(toc.find("session"), std::string::npos);
    auto doc = OpenDoc(dir / "ms.iso");
    ASSERT_TRUE(doc);
    const auto ours = ListTree(*doc);
    EXPECT_TRUE(ours.count("/d1/one.txt"));
    EXPECT_TRUE(ours.count("/d2/two.txt"));
}

// With the UDF reader not linked in, a UDF bridge image opens through its
// Joliet side; the boot record of an El Torito image is found among the
// descriptors.
TEST(IsoReader, UdfBridgeAndBootRecord) {
    qvtest::TempDir dir;
    const std::string tree = MakeTree(dir, "tree", {"Mixed Case.txt:a", "boot/b.img@2048"});
    const std::string u = Genisoimage(dir, "-J -udf", tree, "u.iso");
    auto doc = OpenDoc(u);
    ASSERT_TRUE(doc);
    EXPECT_EQ(Paths(ListTree(*doc)), ToolPaths(RunOk("isoinfo -J -f -i " + ShellQuote(u)), true));
    EXPECT_EQ(doc->udfPresent, 0);

    const std::string e = Genisoimage(dir, "-J -b boot/b.img -c boot/boot.cat -no-emul-boot -boot-load-size 4", tree,
                                      "e.iso");
    doc = OpenDoc(e);
    ASSERT_TRUE(doc);
    EXPECT_NE(RunOk("isoinfo -d -i " + ShellQuote(e)).find("El Torito VD version 1 found"), std::string::npos);
    const auto bytes = qvtest::ReadFileBytes(e);
    ASSERT_GT(doc->bootRecordSector, 16);
    const uint8_t* boot = &bytes[static_cast<size_t>(doc->bootRecordSector) * 2048];
    EXPECT_EQ(boot[0], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(boot + 7), 23), image::kElToritoSystemId);
    EXPECT_EQ(doc->primaryDescriptorSector, 16);
    EXPECT_GT(doc->jolietDescriptorSector, 16);
}

// A file of more than 4 GiB is stored as several extents. Writing one takes
// a minute and 4.3 GB of disk, so it runs only when QV_SLOW_TESTS is set.
TEST(IsoReader, MultiExtentFileOver4GiB) {
    if (!std::getenv("QV_SLOW_TESTS")) GTEST_SKIP() << "set QV_SLOW_TESTS=1 to write a 4.3 GB image";
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) + " && mkdir d && truncate -s 4300M d/big.bin && "
          "xorriso -as mkisofs -iso-level 3 -J -o big.iso d >/dev/null 2>&1");
    auto doc = OpenDoc(dir / "big.iso");
    ASSERT_TRUE(doc);
    const auto ours = ListTree(*doc);
    ASSERT_EQ(ours.size(), 1u);
    EXPECT_EQ(ours.at("/big.bin").size, 4300LL * 1024 * 1024);
    std::vector<uint8_t> tail(4096, 0xAA);
    EXPECT_EQ(ReadIsoItemBytes(*doc, *ours.at("/big.bin").item, 4300LL * 1024 * 1024 - 4096, tail.data(), 4096), 4096);
    EXPECT_EQ(tail, std::vector<uint8_t>(4096, 0));
}

// A session chooser that picks a fixed session, as the user would.
class PickSession final : public ISessionChooserServices {
public:
    explicit PickSession(int32_t session) : session_(session) {}
    int ChooseSession(ImageContext*, bool) override {
        foundation::ChosenSessionIndex().store(session_);
        return 0;
    }

private:
    int32_t session_;
};

// Two sessions as two tracks of one file, described by a CUE sheet without
// a gap between them. The session chosen at open decides what is seen.
TEST(IsoReader, TwoSessionsThroughACueSheet) {
    qvtest::TempDir dir;
    MakeTree(dir, "t1", {"d1/one.txt:1"});
    MakeTree(dir, "t2", {"d2/two.txt:2"});
    const std::string cd = "cd " + ShellQuote(dir.path()) + " && ";
    RunOk(cd + "genisoimage -quiet -R -J -o s1.iso t1");
    const int64_t n = static_cast<int64_t>(qvtest::ReadFileBytes(dir / "s1.iso").size() / 2048);
    RunOk(cd + "genisoimage -quiet -R -J -C 0," + std::to_string(n) + " -M s1.iso -o s2.iso t2 2>/dev/null && "
          "cat s1.iso s2.iso > ms.iso");
    ASSERT_EQ(ToolPaths(RunOk("isoinfo -i " + ShellQuote(dir / "ms.iso") + " -T " + std::to_string(n) + " -J -f"), true),
              (std::vector<std::string>{"/d1", "/d1/one.txt", "/d2", "/d2/two.txt"}));
    char msf[16];
    std::snprintf(msf, sizeof msf, "%02d:%02d:%02d", static_cast<int>(n / 75 / 60), static_cast<int>(n / 75 % 60),
                  static_cast<int>(n % 75));
    qvtest::WriteFileText(dir / "ms.cue", std::string("FILE \"ms.iso\" BINARY\nREM SESSION 01\n  TRACK 01 MODE1/2048\n"
                          "    INDEX 01 00:00:00\nREM SESSION 02\n  TRACK 02 MODE1/2048\n    INDEX 01 ") + msf + "\n");

    const struct {
        int session;
        std::vector<std::string> paths;
    } rows[] = {{1, {"/d1", "/d1/one.txt", "/d2", "/d2/two.txt"}}, {0, {"/d1", "/d1/one.txt"}}};
    for (const auto& row : rows) {
        PickSession chooser(row.session);
        int code = -1;
        image::DocumentPtr doc;
        {
            foundation::ScopedServices<SetSessionChooserServices> dialogs(&chooser);
            doc = OpenDoc(dir / "ms.iso", &code, dir / "ms.cue");
        }
        ASSERT_TRUE(doc) << code;
        EXPECT_EQ(Paths(ListTree(*doc)), row.paths) << row.session;
        EXPECT_EQ(doc->chosenSession, row.session + 1);
        EXPECT_EQ(foundation::ChosenSessionIndex().load(), -1);
    }
}

}  // namespace
}  // namespace image
