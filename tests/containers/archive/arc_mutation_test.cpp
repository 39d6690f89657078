// Archives made by real tools, mutated many times, each opened and every item
// extracted: a clean return is asked of our side of the bridge whatever the
// library hands it (names, sizes, results), and lying sizes are errors.

#include "tests/containers/archive/arc_fixture.h"

#include <random>

#include "foundation/operation_status.h"
#include "tests/support/peak_memory.h"

namespace containers::archive {
namespace {

using namespace arctest;

constexpr int kRounds = 300;

class ArcMutation : public ArchiveTest {};

size_t ExtractEverything(image::ImageContext& ctx, const std::string& scratch) {
    size_t items = 0;
    std::vector<image::ImageFolder*> work{ctx.rootFolder};
    while (!work.empty()) {
        image::ImageFolder* folder = work.back();
        work.pop_back();
        for (image::ImageItem* item = folder->firstItem; item; item = item->next) {
            ++items;
            if (item->ownFolder) {
                work.push_back(item->ownFolder);
                continue;
            }
            std::vector<uint8_t> bytes;
            foundation::ResetOperationStatus();
            ItemBytes(ctx, *item, bytes, scratch);
            // A failed item answers at once the next time, never retried for ever.
            foundation::ResetOperationStatus();
            ItemBytes(ctx, *item, bytes, scratch);
        }
    }
    return items;
}

TEST_F(ArcMutation, MutatedArchivesReturnCleanly) {
    MakeSourceTree();
    qvtest::RunOk("cd " + dir_.path() + " && head -c 20000 d/sub/b.bin > d/sub/b.bin.part && mv d/sub/b.bin.part d/sub/b.bin"
                  " && 7z a -bd -tzip z.zip ./d/* >/dev/null && 7z a -bd s.7z ./d/* >/dev/null"
                  " && tar -C d -cf t.tar . && gzip -kn t.tar");
    std::mt19937 random(12345);
    for (const char* name : {"z.zip", "s.7z", "t.tar.gz"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> original = qvtest::ReadFileBytes(*this / name);
        const std::string path = *this / (std::string("m_") + name);
        for (int round = 0; round < kRounds; ++round) {
            std::vector<uint8_t> bytes = original;
            const int flips = 1 + int(random() % 8);
            for (int k = 0; k < flips; ++k) bytes[random() % bytes.size()] = uint8_t(random());
            if (round % 10 == 9) bytes.resize(random() % bytes.size());
            qvtest::WriteFileBytes(path, bytes.data(), bytes.size());
            PasswordAnswer quiet(nullptr);
            ScopedAnswer dialogs{&quiet};
            int code = -1;
            image::DocumentPtr ctx(OpenArchiveAsImage(U(path), false, 0, &code));
            if (!ctx) continue;
            ExtractEverything(*ctx, *this / "scratch");
        }
    }
    foundation::ResetOperationStatus();
}

TEST_F(ArcMutation, LyingSizeIsADataErrorWithoutAHugeAllocation) {
    qvtest::RunOk("cd " + dir_.path() + " && printf 'twelve bytes' > f && zip -q0 -X z.zip f");
    std::vector<uint8_t> bytes = qvtest::ReadFileBytes(*this / "z.zip");
    // The uncompressed size of the local header ("PK\3\4" + 22) and of the
    // central directory ("PK\1\2" + 24) both claim nearly 4 GiB.
    for (const auto& [magic, offset] : {std::pair<uint8_t, size_t>{3, 22}, std::pair<uint8_t, size_t>{1, 24}}) {
        const uint8_t mark[] = {'P', 'K', magic, uint8_t(magic + 1)};
        auto at = std::search(bytes.begin(), bytes.end(), std::begin(mark), std::end(mark));
        ASSERT_NE(at, bytes.end());
        const size_t size = size_t(at - bytes.begin()) + offset;
        bytes[size] = 0xF0;
        bytes[size + 1] = bytes[size + 2] = bytes[size + 3] = 0xFF;
    }
    qvtest::WriteFileBytes(*this / "lie.zip", bytes.data(), bytes.size());
    qvtest::PeakMemory peak;
    int code = -1;
    image::DocumentPtr ctx(OpenArchiveAsImage(U(*this / "lie.zip"), false, 0, &code));
    ASSERT_TRUE(ctx);
    image::ImageItem* item = image::FindItemByPath(ctx.get(), ctx->rootFolder, u"f");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->size, int64_t(0xFFFFFFF0));
    std::vector<uint8_t> out;
    foundation::ResetOperationStatus();
    EXPECT_FALSE(ItemBytes(*ctx, *item, out, *this / "out"));
    EXPECT_LT(out.size(), 4096u);
    uint8_t buffer[16];
    EXPECT_EQ(ReadArchiveItemData(*ctx, item->archiveIndex, buffer, 0, sizeof buffer), -1);
    EXPECT_LT(peak.GrowthBytes(), uint64_t(64) << 20);
    foundation::ResetOperationStatus();
}

}  // namespace
}  // namespace containers::archive
