// Sector I/O through the services of other parts (containers, the composed
// image, the deflate variant), with a fake in their place: the container reader
// error policy, the container writer family's chunk collection and switches,
// compose output, the bypass of the composed read, and the output size limit.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/sectors/writer_switches.h"
#include "foundation/messages.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/sectors/container_services.h"
#include "image/sectors/format_table.h"
#include "image/document/image_context.h"
#include "image/sectors/raw_sectors.h"
#include "image/sectors/sector_io.h"
#include "image/sectors/sector_writers.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace image {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kS = 2048;

Bytes Pattern(int32_t first, int32_t count) {
    Bytes b(size_t(count) * kS);
    for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(first * 31 + int32_t(i / kS) * 7 + int32_t(i % 251));
    return b;
}

class FakeFamily : public IContainerWriterFamily {
public:
    bool Create(ImageContext&) override { ++created; attached = createOk; return createOk; }
    bool Begin(ImageContext&, const WriterArguments&) override { ++begun; return true; }
    void Free(ImageContext&) override { attached = false; }
    bool Attached(const ImageContext&) const override { return attached; }
    uint32_t ChunkSectors(const ImageContext&) const override { return 4; }
    uint32_t ContainerFormat(const ImageContext&) const override { return format; }
    int64_t CompressChunk(ImageContext&, uint32_t chunkIndex, const uint8_t* sectors, size_t length,
                          uint8_t* output, uint32_t& type) override {
        chunks.push_back({chunkIndex, length});
        // "Compressed" = a 14-byte header, then the bytes as they are.
        std::memset(output, 0xEE, 14);
        std::memcpy(output + 14, sectors, length);
        type = chunkIndex % 2;   // chunk 0 and 2 of type 0
        return int64_t(length + 14);
    }
    bool WriteData(ImageContext&, const uint8_t* bytes, size_t length) override {
        writes.emplace_back(bytes, bytes + length);
        return true;
    }
    void SetChunkSize(ImageContext&, uint32_t chunk, uint32_t length) override { sizes.push_back({chunk, length}); }
    void SetChunkType(ImageContext&, uint32_t chunk, uint32_t type) override { types.push_back({chunk, type}); }
    std::vector<uint8_t>* TrailingBlock(ImageContext&) override { return &trailing; }
    bool ScrambleTrailingBlock(const ImageContext&) const override { return scramble; }
    void SetTrailingStoredLength(ImageContext&, uint32_t length) override { trailingStored = length; }
    void ClearPending(ImageContext&) override { ++cleared; }
    int Finish(ImageContext&) override { ++finished; return 0; }

    bool createOk = true;
    bool attached = false;
    uint32_t format = 0x110;
    bool scramble = false;
    int created = 0, begun = 0, cleared = 0, finished = 0;
    uint32_t trailingStored = 0;
    std::vector<std::pair<uint32_t, size_t>> chunks;
    std::vector<Bytes> writes;
    std::vector<std::pair<uint32_t, uint32_t>> sizes, types;
    Bytes trailing = Bytes{1, 2, 3, 4, 5};
};

class FakeServices : public IComposedImageServices, public IChunkImageServices, public IContainerServices {
public:
    int32_t ReadChunkedSectors(ImageContext&, int32_t, uint8_t*, int32_t) override { return 0; }
    int32_t ReadChunkImageSectors(ImageContext&, int32_t, uint8_t*, int32_t) override { return 0; }
    int32_t ReadComposedSectors(ImageContext&, int32_t first, uint8_t* buffer, int32_t count) override {
        ++composedReads;
        const Bytes p = Pattern(first + 1000, count);
        std::memcpy(buffer, p.data(), p.size());
        return count;
    }
    bool AppendComposedSectors(ImageContext&, const uint8_t* bytes, size_t length) override {
        composed.insert(composed.end(), bytes, bytes + length);
        return true;
    }
    int CopyContainerSector(ContainerKind kind, ImageContext&, uint32_t sector, uint8_t* destination) override {
        lastKind = kind;
        if (int32_t(sector) >= failFrom) return -1;
        const Bytes p = Pattern(int32_t(sector), 1);
        std::memcpy(destination, p.data(), kS);
        return 0;
    }
    IContainerWriterFamily* ContainerWriter(ContainerKind kind) override {
        lastKind = kind;
        return &family;
    }
    size_t DeflateCompressBlock(const uint8_t* input, size_t length, uint8_t* output, size_t capacity) override {
        // Stands for the deflate variant: the block reversed, plus one byte.
        if (length + 1 > capacity) return 0;
        for (size_t i = 0; i < length; ++i) output[i] = input[length - 1 - i];
        output[length] = 0x99;
        return length + 1;
    }

    FakeFamily family;
    ContainerKind lastKind = ContainerKind::Xdi;
    int32_t failFrom = 1 << 30;
    int composedReads = 0;
    Bytes composed;
};

// The fake behind all three seams for a scope.
struct Installed {
    explicit Installed(FakeServices& services) : composed(&services), chunks(&services), containers(&services) {}
    foundation::ScopedServices<SetComposedImageServices> composed;
    foundation::ScopedServices<SetChunkImageServices> chunks;
    foundation::ScopedServices<SetContainerServices> containers;
};

class SectorSeams : public ::testing::Test {
protected:
    void SetUp() override {
        foundation::ResetProcessStateForTests();
        image::ResetWriterSwitches();
    }
    void TearDown() override {
        image::ResetWriterSwitches();
        foundation::ResetProcessStateForTests();
    }
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scopedUi_{&ui_};
};

TEST_F(SectorSeams, ContainersAnswerNotAvailableUntilInstalled) {
    auto ctx = std::make_unique<ImageContext>();
    ctx->formatCode = format_code::kDaa;
    ctx->endSector = 100;
    ctx->imagePath = u"/x/image.daa";
    Bytes buf(2 * kS);
    EXPECT_EQ(ReadImageSectors(*ctx, 0, buf.data(), 2), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusImageReadError);
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(ui_.Boxes()[0].request.text, u"/x/image.daa\r\n\r\nError reading archive. ");

    foundation::ResetOperationStatus();
    ctx->outputFormat = format_code::kMzp;
    EXPECT_EQ(WriteImageSectors(*ctx, 0, buf.data(), 2, WriterArguments{}), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusWriteFailed);
    ASSERT_EQ(ui_.Boxes().size(), 2u);
    EXPECT_NE(ui_.Boxes()[1].request.text.find(u"Failed writing archive."), std::u16string::npos);
}

TEST_F(SectorSeams, ContainerReaderStopsAtTheFirstFailure) {
    FakeServices services;
    Installed installed(services);
    services.failFrom = 5;
    for (int32_t code : {format_code::kDaa, format_code::kMzp, format_code::kXdi}) {
        foundation::ResetOperationStatus();
        auto ctx = std::make_unique<ImageContext>();
        ctx->formatCode = code;
        ctx->endSector = 100;
        ctx->quietReads = 1;
        Bytes buf(8 * kS);
        EXPECT_EQ(ReadImageSectors(*ctx, 0, buf.data(), 4), 4);
        for (int32_t i = 0; i < 4; ++i)
            EXPECT_TRUE(Bytes(buf.begin() + i * kS, buf.begin() + (i + 1) * kS) == Pattern(i, 1)) << i;
        EXPECT_EQ(ReadImageSectors(*ctx, 2, buf.data(), 8), 3);
        EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusImageReadError);
        EXPECT_EQ(foundation::GetLastErrorTextOverride(), u"Error reading archive. ");
        EXPECT_EQ(services.lastKind, code == format_code::kDaa   ? ContainerKind::Daa
                                     : code == format_code::kMzp ? ContainerKind::Mzp
                                                                 : ContainerKind::Xdi);
    }
}

TEST_F(SectorSeams, ComposedReadAndItsStoredBypass) {
    FakeServices services;
    Installed installed(services);
    qvtest::TempDir dir;
    const Bytes stored = Pattern(0, 8);
    qvtest::WriteFileBytes(dir / "s.iso", stored.data(), stored.size());
    auto ctx = std::make_unique<ImageContext>();
    ctx->imageHandle.reset(platform::FileOpenUtf8(dir / "s.iso", platform::FileAccess::Read,
                                                  platform::FileDisposition::OpenExisting));
    ctx->formatCode = format_code::kIso;
    ctx->endSector = 8;
    ctx->composedRead = 1;
    Bytes buf(2 * kS);
    ASSERT_EQ(ReadImageSectors(*ctx, 3, buf.data(), 2), 2);
    EXPECT_TRUE(buf == Pattern(1003, 2));
    ASSERT_EQ(ReadImageSectors(*ctx, 3, buf.data(), 2, ImageSource::Stored), 2);
    EXPECT_EQ(std::memcmp(buf.data(), stored.data() + 3 * kS, 2 * kS), 0);
    EXPECT_EQ(services.composedReads, 1);
    EXPECT_EQ(ctx->composedRead, 1);
}

TEST_F(SectorSeams, ComposeOutputAppendsSectorsAndFrames) {
    FakeServices services;
    Installed installed(services);
    auto ctx = std::make_unique<ImageContext>();
    ctx->composeOutput = 1;
    const Bytes data = Pattern(0, 3);
    ctx->outputFormat = format_code::kIso;
    EXPECT_EQ(WriteImageSectors(*ctx, 0, data.data(), 3, WriterArguments{}), 3);
    EXPECT_TRUE(services.composed == data);
    services.composed.clear();
    ctx->outputFormat = format_code::kBin;
    EXPECT_EQ(WriteImageSectors(*ctx, 5, data.data(), 3, WriterArguments{}), 3);
    ASSERT_EQ(services.composed.size(), 3 * kRawSectorSize);
    RawSectorInfo info;
    EXPECT_EQ(CheckRawSector(services.composed.data() + 2 * kRawSectorSize, &info), RawSectorCheck::Ok);
    EXPECT_EQ(info.address, 7);
    EXPECT_EQ(foundation::OperationStatus.load(), 0);
}

struct FamilyCase {
    const char* name;
    int32_t outputFormat;
    uint32_t containerFormat;
    bool switchH;
    bool expectSkip;        // type-0 chunks written without their first 14 bytes
    bool expectTypes;       // SetChunkType called
    bool expectTrailing;    // E: the trailing block is written
};

class ContainerFamily : public SectorSeams, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(ContainerFamily, CollectsWholeChunksAndTheShorterLast) {
    const FamilyCase c = GetParam();
    FakeServices services;
    Installed installed(services);
    services.family.format = c.containerFormat;
    image::WriterSwitchH = c.switchH;
    image::WriterSwitchE = true;
    auto ctx = std::make_unique<ImageContext>();
    ctx->outputFormat = c.outputFormat;
    ctx->endSector = 10;   // chunks of 4: 4 + 4 + 2
    const Bytes data = Pattern(0, 10);
    for (int32_t s = 0; s < 10; s += 3) {
        const int32_t n = std::min(3, 10 - s);
        ASSERT_EQ(WriteImageSectors(*ctx, s, data.data() + size_t(s) * kS, n, WriterArguments{}), n) << s;
    }
    FakeFamily& f = services.family;
    EXPECT_EQ(f.created, 1);
    EXPECT_EQ(f.begun, 1);
    ASSERT_EQ(f.chunks.size(), 3u);
    EXPECT_EQ(f.chunks[0], (std::pair<uint32_t, size_t>{0, 4 * kS}));
    EXPECT_EQ(f.chunks[1], (std::pair<uint32_t, size_t>{1, 4 * kS}));
    EXPECT_EQ(f.chunks[2], (std::pair<uint32_t, size_t>{2, 2 * kS}));
    Bytes joined;
    for (size_t i = 0; i < 3; ++i) {
        const Bytes& w = f.writes[i];
        const bool skipped = c.expectSkip && i % 2 == 0;
        ASSERT_EQ(w.size(), f.chunks[i].second + (skipped ? 0 : 14)) << i;
        joined.insert(joined.end(), w.begin() + (skipped ? 0 : 14), w.end());
        EXPECT_EQ(f.sizes[i].second, uint32_t(w.size()));
    }
    EXPECT_TRUE(joined == data);
    EXPECT_EQ(f.types.size(), c.expectTypes ? 3u : 0u);
    EXPECT_EQ(f.writes.size(), c.expectTrailing ? 4u : 3u);
    if (c.expectTrailing) {
        EXPECT_EQ(f.writes[3], (Bytes{1, 2, 3, 4, 5}));
    }
    EXPECT_EQ(f.cleared, 1);
    EXPECT_EQ(f.finished, 1);
    EXPECT_EQ(foundation::OperationStatus.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Writers, ContainerFamily,
    ::testing::Values(FamilyCase{"Daa110", format_code::kDaa, 0x110, true, true, true, true},
                      FamilyCase{"Daa110NoH", format_code::kDaa, 0x110, false, false, true, true},
                      FamilyCase{"Daa100", format_code::kDaa, 0x100, true, false, false, true},
                      FamilyCase{"MzpAnyFormat", format_code::kMzp, 0x999, true, true, true, true},
                      FamilyCase{"Xdi", format_code::kXdi, 0x110, true, false, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SectorSeams, TrailingBlockCompressedAndScrambled) {
    FakeServices services;
    Installed installed(services);
    services.family.scramble = true;
    image::WriterSwitchE = true;
    image::WriterSwitchC = true;
    auto ctx = std::make_unique<ImageContext>();
    ctx->outputFormat = format_code::kDaa;
    ctx->endSector = 1;
    const Bytes data = Pattern(0, 1);
    ASSERT_EQ(WriteImageSectors(*ctx, 0, data.data(), 1, WriterArguments{}), 1);
    const Bytes packed = {5, 4, 3, 2, 1, 0x99};   // the fake's "compression"
    Bytes expected(packed.size());
    const uint8_t notLength = uint8_t(~uint32_t(packed.size()));
    for (size_t i = 0; i < packed.size(); ++i) expected[i] = uint8_t((packed[i] ^ notLength) + 7 * i);
    ASSERT_EQ(services.family.writes.size(), 2u);
    EXPECT_EQ(services.family.writes[1], expected);
    EXPECT_EQ(services.family.trailingStored, uint32_t(packed.size()));
}

TEST_F(SectorSeams, CreateFailureAndOutputSizeLimit) {
    FakeServices services;
    Installed installed(services);
    services.family.createOk = false;
    auto ctx = std::make_unique<ImageContext>();
    ctx->outputFormat = format_code::kXdi;
    ctx->endSector = 4;
    const Bytes data = Pattern(0, 2);
    EXPECT_EQ(WriteImageSectors(*ctx, 0, data.data(), 2, WriterArguments{}), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusWriteFailed);

    // A save past 2^60 bytes with the limit set fails without writing.
    foundation::ResetOperationStatus();
    qvtest::TempDir dir;
    auto iso = std::make_unique<ImageContext>();
    iso->outputHandle.reset(platform::FileOpenUtf8(dir / "o.iso", platform::FileAccess::ReadWrite,
                                                   platform::FileDisposition::CreateAlways));
    iso->outputFormat = format_code::kIso;
    iso->outputSizeLimit = 1;
    iso->bytesWritten = int64_t(kOutputSizeLimitBytes) - 2048;
    const size_t boxes = ui_.Boxes().size();
    EXPECT_EQ(WriteImageSectors(*iso, 7, data.data(), 2, WriterArguments{}), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusWriteFailed);
    EXPECT_EQ(ui_.Boxes().size(), boxes);
    EXPECT_EQ(qvtest::ReadFileBytes(dir / "o.iso").size(), 0u);
}

}  // namespace
}  // namespace image
