// Video CD and Super Video CD: images vcdimager made from an MPEG stream
// ffmpeg made are recognised and their tree marked as vcd-info lists it; the
// stream information comes from FFmpeg; the control files we build match the
// ones vcdimager wrote for the same programme, and the tables' layouts.

#include "image/vcd/video_cd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "foundation/messages_scripted.h"
#include "app/open_document.h"
#include "image/build/add_disk_files.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/build/image_save.h"
#include "image/iso/iso_reader.h"
#include "image/document/item_tree.h"
#include "image/vcd/mpeg_info.h"
#include "image/sectors/sector_io.h"
#include "image/sheets/track_list.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using image::DocumentPtr;
using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string W(const std::string& s) { return platform::Utf8ToUtf16(s); }

void Collect(image::ImageFolder* folder, const std::string& path, std::set<std::string>& out) {
    std::vector<std::pair<image::ImageFolder*, std::string>> work{{folder, path}};
    while (!work.empty()) {
        auto [f, p] = work.back();
        work.pop_back();
        for (image::ImageItem* item = f->firstItem; item; item = item->next) {
            std::string name = platform::Utf16ToUtf8(item->name);
            if (name == "." || name == "..") continue;
            out.insert(p + name);
            if (item->ownFolder) work.push_back({item->ownFolder, p + name + "/"});
        }
    }
}

class VideoCdTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QV_ANSI_CODEPAGE", "1252", 1);
        setenv("TZ", "UTC", 1);
    }
    // A two-second PAL stream and a disc of it.
    std::string MakeDisc(const std::string& type) {
        const std::string target = type == "svcd" ? "pal-svcd" : "pal-vcd";
        const std::string mpg = dir_ / (type + ".mpg");
        RunOk("ffmpeg -v error -f lavfi -i testsrc=size=" + std::string(type == "svcd" ? "480x576" : "352x288") +
              ":rate=25:duration=2 -f lavfi -i sine=duration=2 -target " + target + " -fflags +bitexact -y " +
              ShellQuote(mpg));
        RunOk("cd " + ShellQuote(dir_.path()) + " && vcdimager -t " + (type == "svcd" ? "svcd" : "vcd2") + " -c " +
              type + ".cue -b " + type + ".bin " + type + ".mpg 2>&1");
        return dir_ / (type + ".cue");
    }
    DocumentPtr Open(const std::string& cue) {
        const std::string bin = cue.substr(0, cue.size() - 3) + "bin";
        int code = -1;
        DocumentPtr doc(image::OpenImageDocument(W(bin), W(cue), foundation::OpenFileForRead(W(bin)), true, 1, &code));
        EXPECT_TRUE(doc) << code;
        return doc;
    }
    // Names vcd-info lists in the disc's ISO 9660 tree ("/MPEGAV/AVSEQ01.DAT").
    std::set<std::string> VcdInfoTree(const std::string& cue) {
        std::string out = RunOk("vcd-info -c " + ShellQuote(cue) + " --no-header 2>&1");
        std::set<std::string> names;
        std::string folder;
        size_t at = 0;
        while (at < out.size()) {
            size_t end = out.find('\n', at);
            std::string line = out.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end == std::string::npos ? out.size() : end + 1;
            if (line.size() >= 3 && line[0] == ' ' && line[1] == '/' && line.back() == ':') {
                folder = line.substr(1, line.size() - 2);
                continue;
            }
            size_t lsn = line.find("[LSN");
            if (lsn == std::string::npos || folder.empty()) continue;
            std::string name = line.substr(line.rfind(' ') + 1);
            if (name == "." || name == "..") continue;
            if (size_t semi = name.find(';'); semi != std::string::npos) name.resize(semi);
            names.insert(folder + name);
        }
        return names;
    }
    std::vector<uint8_t> FileBytes(image::ImageContext& doc, const std::u16string& path) {
        image::ImageItem* item = image::FindItemByPath(&doc, doc.rootFolder, path);
        EXPECT_NE(item, nullptr);
        if (!item) return {};
        std::vector<uint8_t> bytes(size_t(item->size));
        EXPECT_EQ(image::ReadIsoItemBytes(doc, *item, 0, bytes.data(), bytes.size()), int64_t(bytes.size()));
        return bytes;
    }
    qvtest::TempDir dir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scoped_{&ui_};
};

TEST_F(VideoCdTest, TheOpenEntryRecognisesAndMarksAVideoCd) {
    struct Row {
        const char* type;
        uint8_t kind;
    } rows[] = {{"vcd", 1}, {"svcd", 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        const std::string cue = MakeDisc(row.type);
        DocumentPtr doc(app::OpenImageByPath(W(cue), false, true, false));
        ASSERT_TRUE(doc);
        EXPECT_EQ(doc->videoCdKind, row.kind);
        image::ImageItem* info =
            image::FindItemByPath(doc.get(), doc->rootFolder, row.kind == 1 ? u"/VCD/INFO.VCD" : u"/SVCD/INFO.SVD");
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->sourceMarker, 150u);
        // The track file is shown as the RIFF CDXA file of its raw frames.
        image::ImageItem* track =
            image::FindItemByPath(doc.get(), doc->rootFolder, row.kind == 1 ? u"/MPEGAV/AVSEQ01.DAT" : u"/MPEG2/AVSEQ01.MPG");
        ASSERT_NE(track, nullptr);
        ASSERT_GT(track->size, 0);
        EXPECT_EQ(image::GetItemDataSize(doc.get(), track), track->size / 2048 * 2352 + 44);
    }
}

TEST_F(VideoCdTest, VcdimagerDiscsAreRecognisedAndMarkedAsVcdInfoListsThem) {
    struct Row {
        const char* type;
        uint8_t kind;
        const char16_t* track;
        const char16_t* info;
    } rows[] = {{"vcd", 1, u"/MPEGAV/AVSEQ01.DAT", u"/VCD/INFO.VCD"},
                {"svcd", 2, u"/MPEG2/AVSEQ01.MPG", u"/SVCD/INFO.SVD"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        const std::string cue = MakeDisc(row.type);
        DocumentPtr doc = Open(cue);
        ASSERT_TRUE(doc);
        EXPECT_EQ(image::DetectVideoCdLayout(*doc), 1);
        EXPECT_EQ(doc->videoCdKind, 1);
        image::AttachVideoCdTracks(*doc);
        EXPECT_EQ(doc->videoCdKind, row.kind);
        image::ImageItem* track = image::FindItemByPath(doc.get(), doc->rootFolder, row.track);
        ASSERT_NE(track, nullptr);
        EXPECT_EQ(track->sourceMarker, image::kVideoCdMarker + 1);
        image::ImageItem* info = image::FindItemByPath(doc.get(), doc->rootFolder, row.info);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->sourceMarker, 150u);
        EXPECT_EQ(doc->trackList->tracks[0].mode, image::track_mode::kMode2Form1);
        EXPECT_EQ(doc->trackList->tracks[1].mode, image::track_mode::kMode2Form2);
        std::set<std::string> ours;
        Collect(doc->rootFolder, "/", ours);
        EXPECT_EQ(ours, VcdInfoTree(cue));
    }
}

TEST_F(VideoCdTest, APlainIsoIsNoVideoCd) {
    RunOk("mkdir -p " + ShellQuote(dir_ / "d") + " && echo x > " + ShellQuote(dir_ / "d/x.txt"));
    RunOk("genisoimage -quiet -o " + ShellQuote(dir_ / "p.iso") + " " + ShellQuote(dir_ / "d"));
    int code = -1;
    const std::string iso = dir_ / "p.iso";
    DocumentPtr doc(image::OpenImageDocument(W(iso), u"", foundation::OpenFileForRead(W(iso)), true, 2, &code));
    ASSERT_TRUE(doc);
    EXPECT_EQ(image::DetectVideoCdLayout(*doc), 0);
    image::AttachVideoCdTracks(*doc);
    EXPECT_EQ(doc->videoCdKind, 0);
}

TEST_F(VideoCdTest, FfmpegGivesTheStreamInformation) {
    MakeDisc("vcd");
    std::shared_ptr<image::MpegInfo> info = image::MpegInfoServices().ProbeMpegFile(W(dir_ / "vcd.mpg"));
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->video[0].present);
    EXPECT_EQ(image::LookupMpegVideoFormat(info->video[0]), 1);   // 352 x 288 at 25
    EXPECT_EQ(image::GetVcdVideoTypeCode(*info), 7);              // motion video, PAL
    EXPECT_TRUE(info->audioPresent);
    EXPECT_NEAR(info->playingSeconds, 2.0, 0.2);
    EXPECT_FALSE(info->scanEntries.empty());
    EXPECT_EQ(image::MpegInfoServices().ProbeMpegFile(W(dir_ / "vcd.cue")), nullptr);
}

// A project of the same programme: our INFO and ENTRIES equal vcdimager's.
TEST_F(VideoCdTest, OurInfoAndEntriesMatchVcdimagers) {
    const std::string cue = MakeDisc("vcd");
    DocumentPtr doc = Open(cue);
    ASSERT_TRUE(doc);
    image::DetectVideoCdLayout(*doc);
    image::AttachVideoCdTracks(*doc);
    auto info = image::MpegInfoServices().ProbeMpegFile(W(dir_ / "vcd.mpg"));
    ASSERT_TRUE(info);
    // vcdimager puts the track after 300 sectors of data track and a 150-sector gap.
    info->startOffset = doc->trackList->tracks[1].startSector - 300;
    doc->trackList->tracks[1].mpegInfo = info;
    image::ImageItem built;
    image::BuildEntriesFile(*doc, built);
    EXPECT_EQ(built.memoryData, FileBytes(*doc, u"/VCD/ENTRIES.VCD"));
    EXPECT_EQ(built.sourceMarker, 151u);
    image::BuildInfoFile(*doc, built, false, false);
    std::vector<uint8_t> theirs = FileBytes(*doc, u"/VCD/INFO.VCD");
    ASSERT_EQ(built.memoryData.size(), theirs.size());
    // Byte 45 on: the fields of discs with play lists and segments, which
    // vcdimager fills with its own defaults.
    EXPECT_TRUE(std::equal(theirs.begin(), theirs.begin() + 44, built.memoryData.begin()));
}

TEST_F(VideoCdTest, SvcdControlFilesMatchVcdimagers) {
    const std::string cue = MakeDisc("svcd");
    DocumentPtr doc = Open(cue);
    ASSERT_TRUE(doc);
    image::DetectVideoCdLayout(*doc);
    image::AttachVideoCdTracks(*doc);
    ASSERT_EQ(doc->videoCdKind, 2);
    auto stream = image::MpegInfoServices().ProbeMpegFile(W(dir_ / "svcd.mpg"));
    ASSERT_TRUE(stream);
    stream->startOffset = doc->trackList->tracks[1].startSector - 300;
    doc->trackList->tracks[1].mpegInfo = stream;
    image::ImageItem built;
    image::BuildEntriesFile(*doc, built);
    EXPECT_EQ(built.memoryData, FileBytes(*doc, u"/SVCD/ENTRIES.SVD"));
    // Playing times differ in the last frames: vcdimager measures the
    // stream its own way. And FFmpeg gives no file position for the
    // stream's last picture (its parser hands it over at the end), so the
    // last key frame is no scan entry of ours and the last half-second
    // point falls on the one before. The rest is equal.
    auto without = [](std::vector<uint8_t> v, size_t at) {
        if (v.size() >= at + 3) std::fill(v.begin() + std::ptrdiff_t(at), v.begin() + std::ptrdiff_t(at) + 3, 0);
        return v;
    };
    image::BuildInfoFile(*doc, built, false, false);
    std::vector<uint8_t> info = FileBytes(*doc, u"/SVCD/INFO.SVD");
    ASSERT_EQ(built.memoryData.size(), info.size());
    EXPECT_TRUE(std::equal(info.begin(), info.begin() + 44, built.memoryData.begin()));
    image::BuildTracksFile(*doc, built);
    EXPECT_EQ(without(built.memoryData, 11), without(FileBytes(*doc, u"/SVCD/TRACKS.SVD"), 11));
    image::BuildSearchFile(*doc, built);
    std::vector<uint8_t> theirs = FileBytes(*doc, u"/SVCD/SEARCH.DAT");
    ASSERT_EQ(built.memoryData.size(), theirs.size());
    EXPECT_EQ(without(built.memoryData, theirs.size() - 3), without(theirs, theirs.size() - 3));
    image::BuildScanDataFile(*doc, built);
    theirs = FileBytes(*doc, u"/EXT/SCANDATA.DAT");
    ASSERT_EQ(built.memoryData.size(), theirs.size());
    EXPECT_EQ(without(without(built.memoryData, 16), theirs.size() - 3), without(without(theirs, 16), theirs.size() - 3));
}

TEST_F(VideoCdTest, DamagedDiscMarksAreRefusedWithoutHarm) {
    const std::string cue = MakeDisc("vcd");
    const std::string bin = dir_ / "vcd.bin";
    const std::vector<uint8_t> good = qvtest::ReadFileBytes(bin);
    // The primary descriptor's XA mark, INFO and ENTRIES, and their mode bytes.
    const size_t places[] = {16 * 2352 + 24 + 1024, 150 * 2352 + 24, 151 * 2352 + 24, 150 * 2352 + 15,
                             151 * 2352 + 15};
    for (size_t at : places) {
        std::vector<uint8_t> bad = good;
        bad[at] ^= 0x40;
        qvtest::WriteFileBytes(bin, bad.data(), bad.size());
        DocumentPtr doc = Open(cue);
        ASSERT_TRUE(doc);
        EXPECT_EQ(image::DetectVideoCdLayout(*doc), 0) << at;
    }
}

image::TrackListPtr ProjectTracks(int mpegTracks, double seconds) {
    image::TrackListPtr list = image::NewTrackList();
    list->trackCount = mpegTracks + 1;
    for (int i = 1; i <= mpegTracks; ++i) {
        auto info = std::make_shared<image::MpegInfo>();
        info->video[0] = {true, 480, 576, 25.0};
        info->audioPresent = true;
        info->playingSeconds = seconds;
        info->startOffset = 150 + 1000 * (i - 1);
        for (int k = 0; k < int(seconds * 2); ++k) info->scanEntries.push_back({uint32_t(10 * k), 0, k / 2.0});
        list->tracks[size_t(i)].mpegInfo = info;
        list->tracks[size_t(i)].length = 500;
    }
    return list;
}

TEST(VideoCdFiles, ControlFileLayouts) {
    image::ImageContext ctx;
    ctx.videoCdKind = 2;
    image::TrackListPtr list = ProjectTracks(2, 1.5);
    ctx.trackList = list.get();
    image::ImageItem item;

    image::BuildPsdFile(ctx, item);
    ASSERT_EQ(item.size, 16 * 3 - 8);
    const std::vector<uint8_t> psd0 = {0x10, 1, 0, 1, 0xFF, 0xFF, 0, 2, 0, 4, 0, 0, 5, 0, 0, 2};
    EXPECT_TRUE(std::equal(psd0.begin(), psd0.end(), item.memoryData.begin()));
    EXPECT_EQ(item.memoryData[16 + 4], 0);
    EXPECT_EQ(item.memoryData[16 + 5], 0);   // previous list: the first
    EXPECT_EQ(item.memoryData[32], 0x1F);

    image::BuildLotFile(ctx, item);
    ASSERT_EQ(item.size, 65536);
    const std::vector<uint8_t> lot = {0, 0, 0, 0, 0, 2, 0, 4, 0xFF, 0xFF};
    EXPECT_TRUE(std::equal(lot.begin(), lot.end(), item.memoryData.begin()));

    image::BuildEntriesFile(ctx, item);
    EXPECT_EQ(std::string(item.memoryData.begin(), item.memoryData.begin() + 8), "ENTRYVCD");
    EXPECT_EQ(item.memoryData[8], 1);
    EXPECT_EQ(item.memoryData[11], 2);
    // Track 2 at 150 + 300 + 150 = 600 = 00:08:00; track 3 at 1600 = 00:21:25.
    const std::vector<uint8_t> entries = {0x02, 0x00, 0x08, 0x00, 0x03, 0x00, 0x21, 0x25};
    EXPECT_TRUE(std::equal(entries.begin(), entries.end(), item.memoryData.begin() + 12));

    image::BuildTracksFile(ctx, item);
    EXPECT_EQ(std::string(item.memoryData.begin(), item.memoryData.begin() + 8), "TRACKSVD");
    EXPECT_EQ(item.memoryData[10], 2);
    const std::vector<uint8_t> times = {0x00, 0x01, 0x37, 0x00, 0x01, 0x37};   // 1.5 s: 00:01 and 37 frames
    EXPECT_TRUE(std::equal(times.begin(), times.end(), item.memoryData.begin() + 11));
    EXPECT_EQ(item.memoryData[17], (7 << 2) | 1);   // PAL motion video, one audio stream

    image::BuildSearchFile(ctx, item);
    EXPECT_EQ(item.size, 13 + 3 * 6);   // three seconds, two points a second, after a 13-byte header
    EXPECT_EQ(item.memoryData[11], 6);

    image::BuildScanDataFile(ctx, item);
    EXPECT_EQ(item.size, image::GetScanDataSize(ctx));
    EXPECT_EQ(item.size, 6 * 3 + 12 + 3 * 6);
    EXPECT_EQ(std::string(item.memoryData.begin(), item.memoryData.begin() + 8), "SCAN_VCD");
    EXPECT_EQ(item.memoryData[3 * 3 + 13 + 1], 6);   // 3(n - 1)
    ctx.trackList = nullptr;
}

TEST(VideoCdFiles, CodesAndMsf) {
    uint8_t msf[3];
    image::LbaToBcdMsf(600, msf);
    EXPECT_EQ(msf[0], 0x00);
    EXPECT_EQ(msf[1], 0x08);
    EXPECT_EQ(msf[2], 0x00);
    image::LbaToBcdMsf(450000, msf);   // 100 minutes: beyond two BCD digits
    EXPECT_EQ(msf[0], 0x99);
    EXPECT_EQ(msf[1], 0x59);
    EXPECT_EQ(msf[2], 0x74);

    image::MpegInfo info;
    EXPECT_EQ(image::GetVcdVideoTypeCode(info), 0);
    info.video[1] = {true, 352, 240, 30000.0 / 1001};
    EXPECT_EQ(image::GetVcdVideoTypeCode(info), 1);
    info.video[2] = {true, 704, 576, 25};
    EXPECT_EQ(image::GetVcdVideoTypeCode(info), 6);
    EXPECT_EQ(image::LookupMpegVideoFormat({true, 352, 240, 24000.0 / 1001}), 3);
    EXPECT_EQ(image::LookupMpegVideoFormat({true, 480, 480, 30000.0 / 1001}), 5);
    EXPECT_EQ(image::LookupMpegVideoFormat({true, 480, 480, 25}), 0);

    info.audioPresent = true;
    for (auto [mode, code] : {std::pair{1, 2}, {2, 2}, {3, 3}, {4, 1}, {0, 0}}) {
        info.audioMode = mode;
        EXPECT_EQ(image::GetVcdAudioTypeCode(info, false), code) << mode;
    }
    EXPECT_EQ(image::GetVcdAudioTypeCode(info, true), 1);
    info.secondAudio = true;
    EXPECT_EQ(image::GetVcdAudioTypeCode(info, true), 2);
    info.multichannelAudio = true;
    EXPECT_EQ(image::GetVcdAudioTypeCode(info, true), 3);

    struct Ogt {
        std::array<bool, 4> s;
        int code;
    } ogt[] = {{{false, false, false, false}, 0}, {{true, false, false, false}, 1}, {{true, true, false, false}, 2},
               {{true, true, true, false}, 3},    {{false, true, false, true}, 0}, {{true, false, true, false}, 1}};
    for (const Ogt& row : ogt) {
        info.subtitles = row.s;
        EXPECT_EQ(image::GetSvcdOgtTypeCode(info), row.code);
    }
}

TEST(VideoCdFiles, AnSvcdWithoutMpeg2UsesMpegav) {
    DocumentPtr doc(image::NewIsoDocument());
    ASSERT_TRUE(doc);
    image::TrackListPtr list = ProjectTracks(1, 1.0);
    doc->trackList = list.release();
    image::ImageFolder* svcd = image::MakeFolderNode(doc.get(), doc->rootFolder, u"SVCD");
    image::ImageFolder* mpegav = image::MakeFolderNode(doc.get(), doc->rootFolder, u"MPEGAV");
    ASSERT_TRUE(svcd && mpegav);
    auto add = [](image::ImageFolder* folder, const char16_t* name, uint32_t sector, int64_t size) {
        image::ImageItem* item = image::NewItem();
        item->name = name;
        item->startSector = sector;
        item->size = size;
        image::LinkItemAtHead(folder, item);
        return item;
    };
    add(svcd, u"INFO.SVD", 150, 2048);
    add(svcd, u"ENTRIES.SVD", 151, 2048);
    image::ImageItem* track = add(mpegav, u"AVSEQ01.MPG", 1000, 4096);
    image::AttachVideoCdTracks(*doc);
    EXPECT_EQ(doc->videoCdKind, 2);
    EXPECT_EQ(track->sourceMarker, image::kVideoCdMarker + 1);
    EXPECT_EQ(mpegav->ownItem->sourceMarker, image::kVideoCdMarker);
}

TEST(VideoCdFiles, ProjectTreeKeepsTheTracksAndDropsTheRest) {
    DocumentPtr doc(image::NewIsoDocument());
    ASSERT_TRUE(doc);
    image::TrackListPtr list = ProjectTracks(3, 1.0);
    doc->trackList = list.release();
    doc->videoCdKind = 1;
    image::ImageFolder* mpegav = image::MakeFolderNode(doc.get(), doc->rootFolder, u"MPEGAV");
    ASSERT_NE(mpegav, nullptr);
    for (const char16_t* name : {u"AVSEQ04.DAT", u"MUSIC01.DAT", u"AVSEQ00.DAT", u"AVSEQ02.DAT", u"NOTES.TXT"}) {
        image::ImageItem* item = image::NewItem();
        item->name = name;
        image::LinkItemAtHead(mpegav, item);
    }
    image::BuildVcdFileTree(*doc);
    std::set<std::string> names;
    Collect(doc->rootFolder, "/", names);
    const std::set<std::string> expected = {"/EXT",
                                            "/MPEGAV",
                                            "/MPEGAV/AVSEQ01.DAT",
                                            "/MPEGAV/AVSEQ02.DAT",
                                            "/MPEGAV/AVSEQ03.DAT",
                                            "/MPEGAV/NOTES.TXT",
                                            "/SEGMENT",
                                            "/VCD",
                                            "/VCD/ENTRIES.VCD",
                                            "/VCD/INFO.VCD"};
    EXPECT_EQ(names, expected);
    image::ImageItem* seq = image::FindItemByPath(doc.get(), doc->rootFolder, u"/MPEGAV/AVSEQ03.DAT");
    ASSERT_NE(seq, nullptr);
    EXPECT_EQ(seq->size, 500 * 2048);
    EXPECT_EQ(seq->sourceMarker, image::kVideoCdMarker + 3);
    image::ImageItem* info = image::FindItemByPath(doc.get(), doc->rootFolder, u"/VCD/INFO.VCD");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->sourceMarker, 150u);
    EXPECT_EQ(std::string(info->memoryData.begin(), info->memoryData.begin() + 8), "VIDEO_CD");
}

}  // namespace

namespace {

// A Video CD project saved as a BIN image: the control files sit at the
// sectors players read them from, in Mode 2 frames under an XA-marked primary
// descriptor, and vcd-info and vcdxrip read the data track back. The MPEG
// tracks themselves are not in the file, so the tools get a sheet naming the
// data track alone.
class VideoCdSave : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QV_ANSI_CODEPAGE", "1252", 1);
        setenv("TZ", "UTC", 1);
    }
    DocumentPtr Project(uint8_t kind) {
        DocumentPtr doc(image::NewIsoDocument());
        EXPECT_TRUE(doc);
        if (!doc) return doc;
        doc->trackList = ProjectTracks(2, 1.0).release();
        doc->videoCdKind = kind;
        image::BuildVcdFileTree(*doc);
        return doc;
    }
    static std::string UserData(const std::vector<uint8_t>& raw, size_t sector, size_t at, size_t n) {
        const size_t from = sector * 2352 + 24 + at;
        if (raw.size() < from + n) return {};
        return std::string(raw.begin() + std::ptrdiff_t(from), raw.begin() + std::ptrdiff_t(from + n));
    }
    qvtest::TempDir dir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scoped_{&ui_};
};

TEST_F(VideoCdSave, ControlFilesLandOnTheirSectorsAndTheToolsReadThem) {
    struct Row {
        uint8_t kind;
        const char* folder;
        const char* infoId;
        const char* detected;
    };
    for (const Row& row : {Row{1, "VCD", "VIDEO_CD", "VCD 2.0 detected"}, Row{2, "SVCD", "SUPERVCD", "SVCD detected"}}) {
        SCOPED_TRACE(row.folder);
        DocumentPtr doc = Project(row.kind);
        ASSERT_TRUE(doc);
        const std::string here = dir_ / row.folder;
        RunOk("mkdir " + ShellQuote(here));
        const std::string bin = here + "/ours.bin";
        // The project's MPEG tracks are not written by a save yet, so a raw
        // image of it is refused rather than left without its video.
        EXPECT_EQ(image::SaveImageFile(*doc, W(bin), image::format_code::kBin, nullptr), -1);
        EXPECT_NE(qvtest::Run("test -e " + ShellQuote(bin)).exitCode, 0);
        // The data track as the burn reads it (Mode 2 frames of the composed
        // image), written out with a sheet the tools can take.
        ASSERT_EQ(image::ComposeImage(*doc, nullptr), 1);
        const int32_t sectors = doc->sectorCount;
        std::vector<uint8_t> raw(size_t(sectors) * 2352);
        ASSERT_EQ(image::ReadImageSectors(*doc, 0, raw.data(), sectors), sectors);
        qvtest::WriteFileBytes(bin, raw.data(), raw.size());
        ASSERT_GE(raw.size(), 152u * 2352);
        for (size_t sector : {size_t(16), size_t(150), size_t(151)}) EXPECT_EQ(raw[sector * 2352 + 15], 2) << sector;
        EXPECT_EQ(UserData(raw, 16, 1024, 8), "CD-XA001");
        EXPECT_EQ(UserData(raw, 150, 0, 8), row.infoId);
        EXPECT_EQ(UserData(raw, 151, 0, 8), "ENTRYVCD");

        qvtest::WriteFileText(here + "/ours.cue", "FILE \"ours.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n");
        const std::string report = RunOk("vcd-info -c " + ShellQuote(here + "/ours.cue") + " 2>&1");
        EXPECT_NE(report.find(row.detected), std::string::npos) << report;
        EXPECT_NE(report.find("XA marker present: yes"), std::string::npos) << report;
        const std::string ext = row.kind == 1 ? "VCD" : "SVD";
        EXPECT_NE(report.find("[LSN    150]      2048  INFO." + ext + ";1"), std::string::npos) << report;
        EXPECT_NE(report.find("[LSN    151]      2048  ENTRIES." + ext + ";1"), std::string::npos) << report;
        EXPECT_NE(report.find("entries: 2"), std::string::npos) << report;

        const std::string xml = here + "/ours.xml";
        RunOk("cd " + ShellQuote(here) + " && vcdxrip --norip -c ours.cue -o ours.xml 2>&1");
        const std::vector<uint8_t> text = qvtest::ReadFileBytes(xml);
        const std::string body(text.begin(), text.end());
        EXPECT_NE(body.find("id=\"sequence-00\""), std::string::npos) << body;
        EXPECT_NE(body.find("id=\"sequence-01\""), std::string::npos) << body;
    }
}

TEST_F(VideoCdSave, FoldersReachingTheControlFilesFailTheSave) {
    DocumentPtr doc = Project(1);
    ASSERT_TRUE(doc);
    // Enough folders that their directories pass sector 150.
    for (int i = 0; i < 160; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "F%03d", i);
        ASSERT_NE(image::MakeFolderNode(doc.get(), doc->rootFolder, W(name)), nullptr);
    }
    EXPECT_EQ(image::ComposeImage(*doc, nullptr), -1);
    const auto boxes = ui_.Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(platform::Utf16ToUtf8(boxes.back().request.text).find("Video CD control files"), std::string::npos);
}

}  // namespace
namespace {

// A vcdimager disc opened and saved as BIN again: the data track is built
// anew, the video track is copied at its place, so vcd-info finds the track
// file where the track is and vcdxrip rips the same stream from both discs.
TEST_F(VideoCdTest, AnOpenedVideoCdSavedAsBinKeepsItsVideoTrack) {
    for (const std::string type : {"svcd", "vcd"}) {
        SCOPED_TRACE(type);
        const std::string cue = MakeDisc(type);
        DocumentPtr doc = Open(cue);
        ASSERT_TRUE(doc);
        image::DetectVideoCdLayout(*doc);
        image::AttachVideoCdTracks(*doc);
        ASSERT_EQ(doc->videoCdKind, type == "vcd" ? 1 : 2);
        const int32_t gapStart = doc->trackList->tracks[1].startSector - doc->trackList->tracks[1].pregap;
        const std::string here = dir_ / ("ours-" + type);
        RunOk("mkdir " + ShellQuote(here));
        ASSERT_EQ(image::SaveImageFile(*doc, W(here + "/ours.bin"), image::format_code::kBin, nullptr), 1);

        const std::vector<uint8_t> theirs = qvtest::ReadFileBytes(dir_ / (type + ".bin"));
        const std::vector<uint8_t> ours = qvtest::ReadFileBytes(here + "/ours.bin");
        ASSERT_EQ(ours.size(), theirs.size());
        EXPECT_TRUE(std::equal(theirs.begin() + std::ptrdiff_t(gapStart) * 2352, theirs.end(),
                               ours.begin() + std::ptrdiff_t(gapStart) * 2352));

        const std::string report = RunOk("vcd-info -c " + ShellQuote(here + "/ours.cue") + " 2>&1");
        const std::string source = RunOk("vcd-info -c " + ShellQuote(cue) + " 2>&1");
        auto avseq = [&type](const std::string& text) {
            const size_t at = text.find(type == "vcd" ? "AVSEQ01.DAT" : "AVSEQ01.MPG");
            const size_t lsn = at == std::string::npos ? at : text.rfind("[LSN", at);
            return lsn == std::string::npos ? std::string() : text.substr(lsn, at - lsn);
        };
        EXPECT_FALSE(avseq(source).empty()) << source;
        EXPECT_EQ(avseq(report), avseq(source)) << report;

        const std::string ripOurs = dir_ / ("rip-ours-" + type), ripTheirs = dir_ / ("rip-theirs-" + type);
        RunOk("mkdir " + ShellQuote(ripOurs) + " " + ShellQuote(ripTheirs));
        RunOk("cd " + ShellQuote(ripOurs) + " && vcdxrip -c " + ShellQuote(here + "/ours.cue") + " 2>&1");
        RunOk("cd " + ShellQuote(ripTheirs) + " && vcdxrip -c " + ShellQuote(cue) + " 2>&1");
        const std::vector<uint8_t> rippedOurs = qvtest::ReadFileBytes(ripOurs + "/avseq01.mpg");
        ASSERT_GT(rippedOurs.size(), 100000u);
        EXPECT_TRUE(rippedOurs == qvtest::ReadFileBytes(ripTheirs + "/avseq01.mpg"));
        RunOk("ffprobe -v error " + ShellQuote(ripOurs + "/avseq01.mpg"));
        if (type != "vcd") continue;

        // A file too large for the room before the video track fails the save
        // and says why, instead of writing over the track's gap.
        std::vector<uint8_t> big(400000, 7);
        qvtest::WriteFileBytes(dir_ / "big.dat", big.data(), big.size());
        ASSERT_NE(image::AddDiskItem(doc.get(), doc->rootFolder, W(dir_ / "big.dat"), u"BIG.DAT"), nullptr);
        EXPECT_EQ(image::SaveImageFile(*doc, W(here + "/full.bin"), image::format_code::kBin, nullptr), -1);
        EXPECT_NE(qvtest::Run("test -e " + ShellQuote(here + "/full.bin")).exitCode, 0);
        const auto boxes = ui_.Boxes();
        ASSERT_FALSE(boxes.empty());
        EXPECT_NE(platform::Utf16ToUtf8(boxes.back().request.text).find("first video track"), std::string::npos);
    }
}

}  // namespace
