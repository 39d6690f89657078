// The streams the library reads and writes through: seeks as its writers
// really use them, reads capped per call, volumes, and short sources.

#include <gtest/gtest.h>

#include "containers/archive/arc_streams.h"
#include "foundation/operation_status.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace containers::archive {
namespace {

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

TEST(ArcStreams, SeekRows) {
    const struct {
        uint64_t current, end;
        int64_t offset;
        uint32_t origin;
        bool ok;
        uint64_t result;
        HResult error;
    } rows[] = {
        {5, 100, 10, 0, true, 10, kOk},
        {5, 100, 10, 1, true, 15, kOk},
        {5, 100, -10, 2, true, 90, kOk},           // the ZIP writer seeks from the end
        {5, 100, 20, 2, true, 120, kOk},
        {5, 100, -6, 1, false, 0, kNegativeSeek},  // never a wrapped position
        {5, 100, -101, 2, false, 0, kNegativeSeek},
        {5, 100, 0, 3, false, 0, kInvalidFunction},
    };
    for (const auto& row : rows) {
        uint64_t result = 0;
        HResult error = kOk;
        EXPECT_EQ(ComputeSeek(row.current, row.end, row.offset, row.origin, result, error), row.ok);
        if (row.ok) EXPECT_EQ(result, row.result);
        else EXPECT_EQ(error, row.error);
    }
}

TEST(ArcStreams, FileInputReadsAtMostFourMebibytesPerCall) {
    qvtest::TempDir dir;
    qvtest::RunOk("head -c 10485760 /dev/urandom > " + dir / "big");
    HResult error = kFail;
    ComRef in = OpenFileInStream(U(dir / "big"), &error);
    ASSERT_TRUE(in);
    std::vector<uint8_t> buffer(10485760);
    uint32_t got = 0;
    ASSERT_EQ(in.Table<InStreamVtbl>().sequential.Read(in.get(), buffer.data(), uint32_t(buffer.size()), &got), kOk);
    EXPECT_EQ(got, 4u << 20);
    // Seek with a null position pointer, as the 7z writer passes.
    ASSERT_EQ(in.Table<InStreamVtbl>().Seek(in.get(), 0, 0, nullptr), kOk);
    uint64_t n = buffer.size();
    ASSERT_EQ(ReadStreamFull(in.get(), buffer.data(), n), kOk);
    EXPECT_EQ(n, buffer.size());
    EXPECT_EQ(buffer, qvtest::ReadFileBytes(dir / "big"));
    ComRef size = in.Query(kIidStreamGetSize);
    ASSERT_TRUE(size);
    uint64_t total = 0;
    ASSERT_EQ(size.Table<StreamGetSizeVtbl>().GetSize(size.get(), &total), kOk);
    EXPECT_EQ(total, buffer.size());
    EXPECT_TRUE(in.Query(kIidSequentialInStream));
    EXPECT_FALSE(in.Query(kIidOutStream));
    HResult missing = kOk;
    EXPECT_FALSE(OpenFileInStream(U(dir / "none"), &missing));
    EXPECT_EQ(missing, FromWin32(2));
}

TEST(ArcStreams, VolumesSplitTheDataAndSeekFromTheirEnd) {
    qvtest::TempDir dir;
    std::vector<platform::FileHandle> files;
    auto open = [&](int32_t v) {
        platform::FileHandle f = platform::FileOpen(U(dir / ("base." + std::to_string(v + 1))),
                                                    platform::FileAccess::ReadWrite,
                                                    platform::FileDisposition::CreateAlways);
        files.push_back(f);
        return f;
    };
    ComRef out = MakeOutStream(std::shared_ptr<OutputTarget>(MakeVolumeTarget(1000, open, u"base")), {});
    std::vector<uint8_t> data(2500);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7);
    uint32_t written = 0;
    const auto& t = out.Table<OutStreamVtbl>();
    ASSERT_EQ(t.sequential.Write(out.get(), data.data(), 2500, &written), kOk);
    EXPECT_EQ(written, 2500u);
    uint64_t at = 0;
    ASSERT_EQ(t.Seek(out.get(), -100, 2, &at), kOk);
    EXPECT_EQ(at, 2400u);
    ASSERT_EQ(t.Seek(out.get(), -3000, 2, nullptr), kNegativeSeek);
    for (platform::FileHandle f : files) platform::FileClose(f);
    EXPECT_EQ(qvtest::ReadFileBytes(dir / "base.1").size(), 1000u);
    EXPECT_EQ(qvtest::ReadFileBytes(dir / "base.2").size(), 1000u);
    EXPECT_EQ(qvtest::ReadFileBytes(dir / "base.3").size(), 500u);
    EXPECT_EQ(MakeVolumeTarget(0, open, u"zero"), nullptr);

    // The 1025th volume is refused, not a wrapped table.
    files.clear();
    ComRef small = MakeOutStream(std::shared_ptr<OutputTarget>(MakeVolumeTarget(1, open, u"tiny")),
                                 OutStreamOptions{StreamErrorKind::Writing, nullptr, false, false});
    std::vector<uint8_t> many(1025, 1);
    foundation::ResetOperationStatus();
    EXPECT_NE(small.Table<OutStreamVtbl>().sequential.Write(small.get(), many.data(), 1025, nullptr), kOk);
    EXPECT_EQ(files.size(), 1024u);
    for (platform::FileHandle f : files) platform::FileClose(f);
    foundation::ResetOperationStatus();
}

TEST(ArcStreams, ItemInputFailsOnAShortSource) {
    image::DocumentPtr ctx(image::NewArchiveDocument(1));
    ASSERT_TRUE(ctx);
    image::ImageItem* item = image::NewItem();
    ASSERT_NE(item, nullptr);
    item->name = u"short";
    item->size = 10;
    item->memoryData = {1, 2, 3};   // declares 10, holds 3
    image::LinkItemAtHead(ctx->rootFolder, item);
    ComRef in = MakeImageInStream(*ctx, *item, nullptr);
    uint8_t buffer[16];
    uint32_t got = 99;
    foundation::ResetOperationStatus();
    EXPECT_EQ(in.Table<InStreamVtbl>().sequential.Read(in.get(), buffer, sizeof buffer, &got), kFail);
    EXPECT_EQ(got, 0u);
    foundation::ResetOperationStatus();
    item->memoryData.resize(10, 9);
    ASSERT_EQ(in.Table<InStreamVtbl>().sequential.Read(in.get(), buffer, sizeof buffer, &got), kOk);
    EXPECT_EQ(got, 10u);
    ASSERT_EQ(in.Table<InStreamVtbl>().sequential.Read(in.get(), buffer, sizeof buffer, &got), kOk);
    EXPECT_EQ(got, 0u);
    uint64_t at = 0;
    ASSERT_EQ(in.Table<InStreamVtbl>().Seek(in.get(), -4, 2, &at), kOk);
    EXPECT_EQ(at, 6u);
}

}  // namespace
}  // namespace containers::archive
