// Sector I/O through the image-format table: every layout row read back from a
// genisoimage ISO wrapped in that row's geometry, the end-of-image question with
// scripted answers on a `head -c` truncated image, the burn-time policy, and
// the BIN writer checked by bchunk and cd-info.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/messages.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/sectors/format_table.h"
#include "image/document/image_context.h"
#include "image/sectors/raw_sectors.h"
#include "image/sectors/sector_io.h"
#include "image/sectors/sector_writers.h"
#include "foundation/optical_services.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace image {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kS = 2048;

// A small ISO 9660 + Joliet image with fixed dates.
std::string MakeIso(const qvtest::TempDir& dir) {
    const std::string src = dir / "src";
    qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(src + "/docs") + " && cd " + qvtest::ShellQuote(src) +
                  " && head -c 300000 /dev/urandom > docs/random.bin && seq 1 20000 > numbers.txt"
                  " && echo hello > README.TXT && touch -d '2020-01-02 03:04:05 UTC' docs/* *");
    const std::string iso = dir / "plain.iso";
    qvtest::RunOk("TZ=UTC SOURCE_DATE_EPOCH=1577934245 genisoimage -quiet -J -V TESTVOL -o " + qvtest::ShellQuote(iso) +
                  " " + qvtest::ShellQuote(src));
    return iso;
}

std::unique_ptr<ImageContext> OpenImage(const std::string& path, int32_t formatCode, int32_t endSector) {
    auto ctx = std::make_unique<ImageContext>();
    ctx->imagePath = platform::Utf8ToUtf16(path);
    ctx->imageHandle.reset(platform::FileOpenUtf8(path, platform::FileAccess::Read, platform::FileDisposition::OpenExisting));
    EXPECT_TRUE(ctx->imageHandle != nullptr) << path;
    ctx->formatCode = formatCode;
    if (const ImageFormatRow* row = GetImageFormatRow(formatCode)) {
        ctx->sectorSize = row->sectorSize;
        ctx->userDataOffset = row->userDataOffset;
        ctx->dataOffset = row->dataOffset;
    }
    ctx->endSector = endSector;
    return ctx;
}

// The ISO stored with a row's geometry: `header` bytes of filler first (or the
// first -header bytes dropped), each 2048-byte sector inside a stored sector of
// `size` bytes at `user`, the rest of the stored sector filler.
Bytes Wrap(const Bytes& iso, int64_t header, size_t size, size_t user) {
    Bytes out;
    if (header > 0) out.assign(size_t(header), 0x5A);
    for (size_t i = 0; i < iso.size() / kS; ++i) {
        Bytes stored(size, uint8_t(0xA0 + i % 16));
        std::memcpy(stored.data() + user, iso.data() + i * kS, kS);
        out.insert(out.end(), stored.begin(), stored.end());
    }
    if (header < 0) out.erase(out.begin(), out.begin() + (-header));
    return out;
}

Bytes ReadAll(ImageContext& ctx, int32_t sectors, int32_t step) {
    Bytes all(size_t(sectors) * kS);
    for (int32_t s = 0; s < sectors; s += step) {
        const int32_t n = std::min(step, sectors - s);
        EXPECT_EQ(ReadImageSectors(ctx, s, all.data() + size_t(s) * kS, n), n) << "at " << s;
    }
    return all;
}

class SectorIo : public ::testing::Test {
protected:
    void SetUp() override {
        foundation::ResetProcessStateForTests();
        iso_ = MakeIso(dir_);
        isoBytes_ = qvtest::ReadFileBytes(iso_);
        ASSERT_EQ(isoBytes_.size() % kS, 0u);
        sectors_ = int32_t(isoBytes_.size() / kS);
    }
    void TearDown() override {
        SetBurnReadPolicy(false, false);
        foundation::ResetProcessStateForTests();
    }
    qvtest::TempDir dir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scopedUi_{&ui_};
    std::string iso_;
    Bytes isoBytes_;
    int32_t sectors_ = 0;
};

TEST(ImageFormatTable, RowsAsStored) {
    struct Row { const char16_t* ext; int32_t size, user, offset; bool writer; };
    const Row expected[kImageFormatRowCount] = {
        {u"iso", 2048, 0, 0, true},      {u"bin", 2352, 16, 0, true},      {u"daa", 0, 0, 0, true},
        {u"nrg", 0, 0, 0, false},        {u"dmg", 0, 0, 0, false},         {u"uif", 0, 0, 0, false},
        {u"isz", 0, 0, 0, false},        {u"mzp", 0, 0, 0, true},          {u"xdi", 0, 0, 0, true},
        {u"bin", 2352, 24, 0, false},    {u"cdi", 2048, 0, 307200, false}, {u"mdf", 2448, 16, 0, false},
        {u"bwi", 2352, 16, 352800, false}, {u"bwi", 2352, 24, 352800, false}, {u"bwi", 2448, 16, 367200, false},
        {u"bwi", 2448, 24, 367200, false}, {u"b5i", 2352, 16, 352800, false}, {u"lcd", 2352, 24, 4096, false},
        {u"lcd", 2049, 1, 4096, false},  {u"fcd", 2048, 0, -32256, false}, {u"cif", 2056, 0, 436, false},
        {u"gi", 2048, 0, 152, false},    {u"gi", 2336, 8, 160, false},
    };
    for (int32_t i = 0; i < kImageFormatRowCount; ++i) {
        const ImageFormatRow* row = GetImageFormatRow(i);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(std::u16string(row->extension), expected[i].ext) << i;
        EXPECT_EQ(row->sectorSize, expected[i].size) << i;
        EXPECT_EQ(row->userDataOffset, expected[i].user) << i;
        EXPECT_EQ(row->dataOffset, expected[i].offset) << i;
        EXPECT_NE(row->reader, nullptr) << i;
        EXPECT_EQ(row->writer != nullptr, expected[i].writer) << i;
    }
    EXPECT_EQ(GetImageFormatRow(-1), nullptr);
    EXPECT_EQ(GetImageFormatRow(23), nullptr);
    EXPECT_EQ(FindImageFormatRow(u"BIN"), 1);
    EXPECT_EQ(FindImageFormatRow(u"bwi"), 12);
    EXPECT_EQ(FindImageFormatRow(u"gi"), 21);
    EXPECT_EQ(FindImageFormatRow(u"img"), -1);
}

TEST_F(SectorIo, EveryLayoutRowReadsTheWrappedIso) {
    struct Layout { int32_t code; };
    for (int32_t code : {0, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 20, 21, 22}) {
        const ImageFormatRow* row = GetImageFormatRow(code);
        const Bytes file = Wrap(isoBytes_, row->dataOffset, size_t(row->sectorSize), size_t(row->userDataOffset));
        const std::string path = dir_ / ("row" + std::to_string(code));
        qvtest::WriteFileBytes(path, file.data(), file.size());
        auto ctx = OpenImage(path, code, sectors_);
        EXPECT_TRUE(ReadAll(*ctx, sectors_, 100) == isoBytes_) << "row " << code;
        EXPECT_EQ(foundation::OperationStatus.load(), 0) << "row " << code;
    }
    EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(SectorIo, FcdNegativeOffsetReadsLeadingSectorsAsZeros) {
    // Data offset -32256: sectors 0-15 lie before the file, sector 16 is at 512.
    const Bytes file = Wrap(isoBytes_, -32256, kS, 0);
    const std::string path = dir_ / "image.fcd";
    qvtest::WriteFileBytes(path, file.data(), file.size());
    auto ctx = OpenImage(path, 19, sectors_);
    Bytes expected = isoBytes_;
    std::memset(expected.data(), 0, 16 * kS);
    EXPECT_TRUE(ReadAll(*ctx, sectors_, 7) == expected);
    Bytes one(kS);
    ASSERT_EQ(ReadImageSectors(*ctx, 16, one.data(), 1), 1);
    EXPECT_EQ(std::memcmp(one.data(), file.data() + 512, kS), 0);
}

TEST_F(SectorIo, RawScanLayoutReadsAShortenedLastSector) {
    // A raw-scan layout (code 1000) whose last stored sector holds only its
    // 2048 user bytes.
    Bytes file = Wrap(isoBytes_, 0, 2336, 0);
    file.resize(file.size() - (2336 - kS));
    const std::string path = dir_ / "scan.img";
    qvtest::WriteFileBytes(path, file.data(), file.size());
    auto ctx = OpenImage(path, format_code::kRawScanFirst, sectors_);
    ctx->sectorSize = 2336;
    ctx->userDataOffset = 0;
    ctx->dataOffset = 0;
    EXPECT_TRUE(ReadAll(*ctx, sectors_, 64) == isoBytes_);
    EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(SectorIo, OtherFormatCodesReadNothing) {
    for (int32_t code : {23, 99, 100, 150, 999, 1008}) {
        auto ctx = OpenImage(iso_, code, sectors_);
        ctx->quietReads = 1;
        Bytes buf(kS);
        EXPECT_EQ(ReadImageSectors(*ctx, 0, buf.data(), 1), 0) << code;
    }
}

TEST_F(SectorIo, TruncatedImageAsksOnceThenReadsPastTheEnd) {
    const std::string cut = dir_ / "cut.iso";
    qvtest::RunOk("head -c " + std::to_string(isoBytes_.size() - 5 * kS - 100) + " " + qvtest::ShellQuote(iso_) +
                  " > " + qvtest::ShellQuote(cut));
    // The end sector comes from the file's size, the volume claims more.
    auto ctx = OpenImage(cut, format_code::kIso, int32_t((isoBytes_.size() - 5 * kS - 100) / kS));
    ui_.QueueBoxAnswer(foundation::kIdOk);
    Bytes buf(10 * kS, 0xFF);
    EXPECT_EQ(ReadImageSectors(*ctx, sectors_ - 10, buf.data(), 10), 10);
    EXPECT_EQ(foundation::OperationStatus.load(), 0);
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(ui_.Boxes()[0].request.text, u"Unexpected end of file found.");
    EXPECT_EQ(ui_.Boxes()[0].request.flags & foundation::kMbButtonMask, foundation::kMbOkCancel);
    // The sectors still in the file, then zeros for the part that is cut off.
    const size_t kept = isoBytes_.size() - 5 * kS - 100 - size_t(sectors_ - 10) * kS;
    EXPECT_EQ(std::memcmp(buf.data(), isoBytes_.data() + size_t(sectors_ - 10) * kS, kept), 0);
    for (size_t i = kept; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0) << i;
    // Answered once: later reads past the end give full counts without asking.
    EXPECT_EQ(ReadImageSectors(*ctx, sectors_ - 2, buf.data(), 4), 4);
    EXPECT_EQ(ui_.Boxes().size(), 1u);
}

TEST_F(SectorIo, TruncatedImageCancelledSetsReadError) {
    const std::string cut = dir_ / "cut.iso";
    qvtest::RunOk("head -c " + std::to_string(isoBytes_.size() / 2) + " " + qvtest::ShellQuote(iso_) + " > " +
                  qvtest::ShellQuote(cut));
    auto ctx = OpenImage(cut, format_code::kIso, int32_t(isoBytes_.size() / 2 / kS));
    ui_.QueueBoxAnswer(foundation::kIdCancel);
    Bytes buf(size_t(sectors_) * kS);
    EXPECT_LT(ReadImageSectors(*ctx, 0, buf.data(), sectors_), sectors_);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusImageReadError);
    EXPECT_EQ(ctx->endOfFileAnswered, 1);
    EXPECT_EQ(ui_.Boxes().size(), 1u);
}

TEST_F(SectorIo, ReadErrorInsideTheImageIsShownAndSetsStatus) {
    const std::string cut = dir_ / "cut.iso";
    qvtest::RunOk("head -c 40000 " + qvtest::ShellQuote(iso_) + " > " + qvtest::ShellQuote(cut));
    auto ctx = OpenImage(cut, format_code::kIso, 0);   // no end sector known: not a past-the-end case
    ctx->endSectorOverride = sectors_ * 2;
    Bytes buf(40 * kS);
    EXPECT_EQ(ReadImageSectors(*ctx, 0, buf.data(), 40), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusImageReadError);
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_NE(ui_.Boxes()[0].request.text.find(platform::Utf8ToUtf16(cut)), std::u16string::npos);

    foundation::ResetOperationStatus();
    ctx->quietReads = 1;   // probing: no message, no status
    EXPECT_EQ(ReadImageSectors(*ctx, 0, buf.data(), 40), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), 0);
    EXPECT_EQ(ui_.Boxes().size(), 1u);
}

class BurnLogRecorder : public qvtest::NullOpticalServices {
public:
    void BurnLogString(bool warning, std::u16string_view text) override {
        lines.emplace_back(text);
        errors += warning ? 1 : 0;
    }
    std::vector<std::u16string> lines;
    int errors = 0;
};

TEST_F(SectorIo, ShortReadDuringABurnFailsUnlessErrorsAreIgnored) {
    const std::string cut = dir_ / "cut.iso";
    qvtest::RunOk("head -c 40000 " + qvtest::ShellQuote(iso_) + " > " + qvtest::ShellQuote(cut));
    BurnLogRecorder log;
    foundation::ScopedServices<foundation::SetOpticalServices> optical(&log);
    auto ctx = OpenImage(cut, format_code::kIso, sectors_);
    Bytes buf(30 * kS, 0xEE);

    SetBurnReadPolicy(true, false);
    EXPECT_EQ(ReadImageSectors(*ctx, 0, buf.data(), 30), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusSourceReadFailed);
    EXPECT_EQ(ReadImageSectors(*ctx, 0, buf.data(), 30), 0);
    ASSERT_EQ(log.lines.size(), 1u);   // once per burn
    EXPECT_EQ(log.lines[0], u"Error reading image data.");
    EXPECT_EQ(log.errors, 1);
    SetBurnReadPolicy(false, false);

    SetBurnReadPolicy(true, true);   // the user chose to ignore read errors
    EXPECT_EQ(ReadImageSectors(*ctx, 0, buf.data(), 30), 30);
    EXPECT_EQ(foundation::OperationStatus.load(), 0);
    for (size_t i = 0; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0) << i;
    EXPECT_EQ(log.lines.size(), 2u);   // a new burn logs again
    EXPECT_TRUE(ui_.Boxes().empty());
}

// A drive that answers cooked reads from the ISO's bytes, or fails them.
class DriveStub : public qvtest::NullOpticalServices {
public:
    explicit DriveStub(const Bytes& disc) : disc_(disc) {}
    int ReadSectorsWithRetry(const foundation::SectorReadRequest& r, int*) override {
        requests.push_back(r);
        if (fail || r.raw || (uint64_t(r.lba) + r.count) * kS > disc_.size()) return 0;
        std::memcpy(r.buffer, disc_.data() + size_t(r.lba) * kS, size_t(r.count) * kS);
        return 1;
    }
    std::vector<foundation::SectorReadRequest> requests;
    bool fail = false;

private:
    const Bytes& disc_;
};

// The preloaded head answers the sectors it holds; the rest comes from the file.
TEST_F(SectorIo, PreloadedHeadAnswersItsSectorsFirst) {
    auto ctx = OpenImage(iso_, format_code::kIso, sectors_);
    ctx->preloadedHead.assign(16 * kS, 0x77);
    ctx->preloadedHeadSectors = 16;
    Bytes buf(20 * kS);
    EXPECT_EQ(ReadImageSectors(*ctx, 10, buf.data(), 20), 20);
    for (size_t i = 0; i < 6 * kS; ++i) ASSERT_EQ(buf[i], 0x77) << i;
    EXPECT_EQ(std::memcmp(buf.data() + 6 * kS, isoBytes_.data() + 16 * kS, 14 * kS), 0);
    EXPECT_EQ(ReadImageSectors(*ctx, 2, buf.data(), 3), 3);
    for (size_t i = 0; i < 3 * kS; ++i) ASSERT_EQ(buf[i], 0x77) << i;
}

// A disc source reads cooked sectors through the drive; a failed drive read
// has asked already, so the read is cancelled without a further message.
TEST_F(SectorIo, DiscSourceReadsThroughTheDrive) {
    DriveStub drive(isoBytes_);
    foundation::ScopedServices<foundation::SetOpticalServices> optical(&drive);
    auto ctx = OpenImage(iso_, format_code::kIso, sectors_);
    ctx->discSource = 1;
    Bytes buf(8 * kS);
    EXPECT_EQ(ReadImageSectors(*ctx, 16, buf.data(), 8), 8);
    EXPECT_EQ(std::memcmp(buf.data(), isoBytes_.data() + 16 * kS, buf.size()), 0);
    ASSERT_EQ(drive.requests.size(), 1u);
    EXPECT_EQ(drive.requests[0].lba, 16u);
    EXPECT_EQ(drive.requests[0].count, 8u);
    EXPECT_FALSE(drive.requests[0].raw);

    drive.fail = true;
    EXPECT_EQ(ReadImageSectors(*ctx, 16, buf.data(), 8), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
    EXPECT_TRUE(ui_.Boxes().empty());

    // One of the program's own virtual drives is read as a file.
    foundation::ResetOperationStatus();
    ctx->virtualDrive = 1;
    EXPECT_EQ(ReadImageSectors(*ctx, 16, buf.data(), 8), 8);
    EXPECT_EQ(std::memcmp(buf.data(), isoBytes_.data() + 16 * kS, buf.size()), 0);
    EXPECT_EQ(drive.requests.size(), 2u);
}

// A recorded end short of the file (a volume walk past the recorded end): the
// sectors the file holds are read without a question; only a read past the
// file's end asks, and a refusal is a read error.
TEST_F(SectorIo, ReadsPastTheRecordedEndAskOnlyPastTheFile) {
    auto ctx = OpenImage(iso_, format_code::kIso, 10);
    Bytes buf(4 * kS, 0xEE);
    EXPECT_EQ(ReadImageSectors(*ctx, 20, buf.data(), 4), 4);   // inside the file: full read
    EXPECT_EQ(std::memcmp(buf.data(), isoBytes_.data() + 20 * kS, buf.size()), 0);
    EXPECT_TRUE(ui_.Boxes().empty());
    ui_.QueueBoxAnswer(foundation::kIdCancel);
    EXPECT_EQ(ReadImageSectors(*ctx, sectors_ - 2, buf.data(), 4), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusImageReadError);
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(ui_.Boxes()[0].request.text, u"Unexpected end of file found.");
}

// Writes the ISO through WriteImageSectors with the given output format.
std::string SaveAs(const Bytes& iso, const std::string& path, int32_t outputFormat, uint8_t videoCdKind) {
    auto ctx = std::make_unique<ImageContext>();
    ctx->outputHandle.reset(platform::FileOpenUtf8(path, platform::FileAccess::ReadWrite,
                                                   platform::FileDisposition::CreateAlways));
    EXPECT_TRUE(ctx->outputHandle != nullptr);
    ctx->outputFormat = outputFormat;
    ctx->videoCdKind = videoCdKind;
    const int32_t sectors = int32_t(iso.size() / kS);
    ctx->endSector = sectors;
    WriterArguments args;
    for (int32_t s = 0; s < sectors; s += 100) {
        const int32_t n = std::min(100, sectors - s);
        EXPECT_EQ(WriteImageSectors(*ctx, s, iso.data() + size_t(s) * kS, n, args), n);
    }
    EXPECT_EQ(ctx->bytesWritten, int64_t(sectors) * (outputFormat == format_code::kIso ? 2048 : 2352));
    return path;
}

TEST_F(SectorIo, IsoSaveEqualsTheSource) {
    const std::string out = SaveAs(isoBytes_, dir_ / "copy.iso", format_code::kIso, 0);
    EXPECT_TRUE(qvtest::ReadFileBytes(out) == isoBytes_);
    EXPECT_EQ(foundation::OperationStatus.load(), 0);
}

TEST_F(SectorIo, BinSaveIsReadBackByBchunkAndCdInfo) {
    const std::string bin = SaveAs(isoBytes_, dir_ / "ours.bin", format_code::kBin, 0);
    const Bytes raw = qvtest::ReadFileBytes(bin);
    ASSERT_EQ(raw.size(), size_t(sectors_) * kRawSectorSize);
    for (int32_t i = 0; i < sectors_; ++i) {
        RawSectorInfo info;
        ASSERT_EQ(CheckRawSector(raw.data() + size_t(i) * kRawSectorSize, &info), RawSectorCheck::Ok) << i;
        ASSERT_EQ(info.kind, RawSectorKind::Mode1);
        ASSERT_EQ(info.address, i);   // frames numbered from 0 in the order written
    }
    qvtest::WriteFileText(dir_ / "ours.cue", "FILE \"ours.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir_.path()) + " && bchunk ours.bin ours.cue out");
    EXPECT_TRUE(qvtest::ReadFileBytes(dir_ / "out01.iso") == isoBytes_);
    const std::string listing = qvtest::RunOk("cd " + qvtest::ShellQuote(dir_.path()) +
                                              " && cd-info --no-header --no-device-info --bin-file ours.bin --iso9660");
    EXPECT_NE(listing.find("TESTVOL"), std::string::npos) << listing;
    EXPECT_NE(listing.find("numbers.txt"), std::string::npos) << listing;

    auto ctx = OpenImage(bin, format_code::kBin, sectors_);
    EXPECT_TRUE(ReadAll(*ctx, sectors_, 64) == isoBytes_);
}

TEST_F(SectorIo, TruncatedRawImageKeepsTheSectorsItHas) {
    const std::string bin = SaveAs(isoBytes_, dir_ / "ours.bin", format_code::kBin, 0);
    const size_t cutBytes = size_t(sectors_ - 7) * kRawSectorSize + 1000;   // mid-sector
    const std::string cut = dir_ / "cut.bin";
    qvtest::RunOk("head -c " + std::to_string(cutBytes) + " " + qvtest::ShellQuote(bin) + " > " + qvtest::ShellQuote(cut));
    auto ctx = OpenImage(cut, format_code::kBin, sectors_ - 7);
    ui_.QueueBoxAnswer(foundation::kIdOk);
    Bytes all(size_t(sectors_) * kS, 0xFF);
    EXPECT_EQ(ReadImageSectors(*ctx, 0, all.data(), sectors_), sectors_);
    EXPECT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(std::memcmp(all.data(), isoBytes_.data(), size_t(sectors_ - 7) * kS), 0);
    for (size_t i = size_t(sectors_ - 7) * kS; i < all.size(); ++i) ASSERT_EQ(all[i], 0) << i;
}

// A burn's read-ahead and a view may read one raw document at the same time.
TEST_F(SectorIo, ConcurrentRawReadsOfOneDocument) {
    const std::string bin = SaveAs(isoBytes_, dir_ / "ours.bin", format_code::kBin, 0);
    auto ctx = OpenImage(bin, format_code::kBin, sectors_);
    std::atomic<int> mismatches{0};
    auto reader = [&](int32_t start) {
        Bytes buf(64 * kS);
        for (int round = 0; round < 40; ++round) {
            const int32_t first = (start + round * 13) % (sectors_ - 64);
            if (ReadImageSectors(*ctx, first, buf.data(), 64) != 64 ||
                std::memcmp(buf.data(), isoBytes_.data() + size_t(first) * kS, buf.size()) != 0)
                ++mismatches;
        }
    };
    std::thread a(reader, 0), b(reader, 50);
    a.join();
    b.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST_F(SectorIo, VideoCdBinSaveIsMode2Form1) {
    const std::string bin = SaveAs(isoBytes_, dir_ / "vcd.bin", format_code::kBin, 1);
    const Bytes raw = qvtest::ReadFileBytes(bin);
    for (int32_t i = 0; i < sectors_; ++i) {
        RawSectorInfo info;
        ASSERT_EQ(CheckRawSector(raw.data() + size_t(i) * kRawSectorSize, &info), RawSectorCheck::Ok) << i;
        ASSERT_EQ(info.kind, RawSectorKind::Mode2Form1);
    }
    auto ctx = OpenImage(bin, 9, sectors_);
    EXPECT_TRUE(ReadAll(*ctx, sectors_, 50) == isoBytes_);
}

TEST_F(SectorIo, FailedWriteShowsTheErrorAndSetsStatus) {
    auto ctx = std::make_unique<ImageContext>();
    ctx->outputHandle.reset(platform::FileOpenUtf8("/dev/full", platform::FileAccess::Write,
                                                   platform::FileDisposition::OpenExisting));
    ASSERT_TRUE(ctx->outputHandle != nullptr);
    ctx->outputFormat = format_code::kIso;
    ctx->writingPath = u"/dev/full";
    Bytes buf(4 * kS);
    EXPECT_EQ(WriteImageSectors(*ctx, 0, buf.data(), 4, WriterArguments{}), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusWriteFailed);
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(ui_.Boxes()[0].request.text.rfind(u"/dev/full", 0), 0u);

    foundation::ResetOperationStatus();
    ctx->outputFormat = format_code::kNrg;   // read-only
    EXPECT_EQ(WriteImageSectors(*ctx, 0, buf.data(), 4, WriterArguments{}), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusWriteFailed);
}

}  // namespace
}  // namespace image
