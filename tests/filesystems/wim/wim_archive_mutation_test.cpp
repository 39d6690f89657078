// Small WIMs made by wimlib-imagex (stored, XPRESS and LZX; two images)
// mutated a few thousand times (bit flips and random bytes anywhere, more of
// them in the header, lookup table and metadata; truncation), each opened as
// a document, walked, and every file extracted. A clean return is asked (the
// sanitizers see every out-of-bounds or uninitialised read), a tree of no
// more items than the metadata has room for entries, and a peak memory within
// a fixed bound (tests/support/peak_memory.h says how it is taken).

#include "filesystems/wim/wim_archive.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "filesystems/wim/wim_image_chooser_services.h"
#include "foundation/operation_status.h"
#include "image/document/document.h"
#include "platform/text.h"
#include "tests/support/fake_services.h"
#include "tests/support/peak_memory.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

constexpr int kRoundsPerFixture = 1000;
constexpr uint64_t kPeakBytes = 256u << 20;

class SecondImage final : public filesystems::IWimImageChooserServices {
public:
    int ChooseWimImage(image::ImageContext*, int32_t count) override { return count - 1; }
};

// Walks the tree and extracts every file; the number of items.
size_t WalkAndExtract(image::ImageContext& ctx, foundation::FileHandle sink) {
    size_t items = 0;
    std::vector<const image::ImageFolder*> work{ctx.rootFolder};
    while (!work.empty()) {
        const image::ImageFolder* folder = work.back();
        work.pop_back();
        for (const image::ImageItem* item = folder->firstItem; item; item = item->next) {
            ++items;
            if (image::IsFolderItem(item)) {
                if (item->ownFolder) work.push_back(item->ownFolder);
                continue;
            }
            platform::FileSetSize(sink, 0);
            platform::FileSetPosition(sink, 0);
            foundation::ResetOperationStatus();
            const int r = filesystems::ExtractWimFile(nullptr, &ctx, item, sink);
            EXPECT_TRUE(r == 1 || r == -1);
        }
    }
    return items;
}

TEST(WimArchiveMutation, MutatedWimsFailCleanly) {
    qvtest::TempDir dir;
    const std::string d = ShellQuote(dir.path());
    RunOk("cd " + d + " && mkdir -p src/a/b src/c && seq 1 9000 > src/a/n && echo hi > src/c/h && : > src/e" +
          " && head -c 3000 /dev/urandom > src/a/b/r && ln src/c/h src/hl && mkdir -p src2 && echo two > src2/t");
    std::vector<std::string> fixtures;
    for (const std::string kind : {"none", "XPRESS", "LZX"}) {
        const std::string wim = dir / (kind + ".wim");
        RunOk("cd " + d + " && wimlib-imagex capture src " + ShellQuote(wim) + " one --compress=" + kind +
              " >/dev/null && wimlib-imagex append src2 " + ShellQuote(wim) + " two >/dev/null");
        fixtures.push_back(wim);
    }
    SecondImage chooser;
    foundation::ScopedServices<filesystems::SetWimImageChooserServices> scoped{&chooser};
    const std::string casePath = dir / "case.wim";
    foundation::UniqueFile sink(foundation::CreateNewFile(platform::Utf8ToUtf16(dir / "sink")));
    ASSERT_TRUE(sink);
    std::mt19937 random(20261211);
    int opened = 0;
    for (const std::string& fixture : fixtures) {
        const std::vector<uint8_t> original = qvtest::ReadFileBytes(fixture);
        // The structures a reader walks: the header, and the lookup table and
        // metadata wimlib writes at the file's end.
        const size_t tail = original.size() > 1400 ? original.size() - 1400 : 0;
        for (int round = 0; round < kRoundsPerFixture; ++round) {
            std::vector<uint8_t> bytes = original;
            const int flips = 1 + int(random() % 8);
            for (int i = 0; i < flips; ++i) {
                const uint32_t where = random() % 4;
                size_t at = where == 0   ? random() % 208
                            : where == 1 ? random() % bytes.size()
                                         : tail + random() % (bytes.size() - tail);
                if (random() % 2) {
                    bytes[at] ^= uint8_t(1u << (random() % 8));
                } else {
                    bytes[at] = uint8_t(random());
                }
            }
            if (random() % 16 == 0) bytes.resize(random() % bytes.size());
            qvtest::WriteFileBytes(casePath, bytes.data(), bytes.size());

            qvtest::PeakMemory peak;
            foundation::UniqueFile file(foundation::OpenFileForRead(platform::Utf8ToUtf16(casePath)));
            ASSERT_TRUE(file);
            int code = 0;
            image::DocumentPtr doc(filesystems::OpenWimArchive(platform::Utf8ToUtf16(casePath), file.get(), &code));
            if (doc) {
                (void)file.release();
                ++opened;
                // Every entry takes at least 102 bytes of decoded metadata.
                EXPECT_LE(WalkAndExtract(*doc, sink.get()), 1 + 64 * bytes.size() / 102);
            } else {
                EXPECT_NE(code, image::open_result::kOk);
            }
            doc.reset();
            EXPECT_LE(peak.GrowthBytes(), kPeakBytes) << fixture << " round " << round;
        }
    }
    // The mutations are meant to reach the tree and the data, not only the header.
    EXPECT_GT(opened, kRoundsPerFixture / 4);
}

}  // namespace
