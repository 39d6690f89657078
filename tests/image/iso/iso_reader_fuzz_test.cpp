// A small genisoimage image mutated a few thousand times (bit flips, random
// bytes in the descriptor and directory sectors, directory record length
// bytes, truncation), each opened as a document and walked. A clean return is
// asked (the sanitizers see every out-of-bounds read or overflow), a tree of
// no more items than the input has room for 34-byte records, and a peak memory
// within a few times the input plus a fixed amount (tests/support/peak_memory.h
// says why the peak is taken from the kernel's high-water mark).

#include "image/iso/iso_reader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "tests/image/iso_fixtures.h"
#include "tests/support/peak_memory.h"

namespace image {
namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

constexpr int kRounds = 3000;
// Items are a few hundred bytes each, more under the sanitizers, and there is
// at most one per 34 input bytes.
constexpr uint64_t kMemoryPerInputByte = 24;
constexpr uint64_t kFixedMemoryBytes = 64u << 20;

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), size), static_cast<ssize_t>(size));
    ::close(fd);
}

// Reads the tree and a little of every file, as a view and an extraction would.
size_t Walk(ImageContext& ctx) {
    size_t items = 0;
    std::vector<const ImageFolder*> work{ctx.rootFolder};
    std::vector<uint8_t> buffer(8192);
    while (!work.empty()) {
        const ImageFolder* folder = work.back();
        work.pop_back();
        for (const ImageItem* item = folder->firstItem; item; item = item->next) {
            ++items;
            if (IsFolderItem(item)) {
                if (item->ownFolder) work.push_back(item->ownFolder);
            } else if (item->size > 0) {
                ReadIsoItemBytes(ctx, *item, 0, buffer.data(),
                                 std::min<uint64_t>(buffer.size(), static_cast<uint64_t>(item->size)));
            }
        }
    }
    return items;
}

TEST(IsoReaderFuzz, MutatedImagesReturnCleanly) {
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) + " && mkdir -p t/a/b/c t/d && echo one > t/a/1.txt && "
          "head -c 3000 /dev/zero > t/a/b/2.bin && echo three > t/a/b/c/3 && echo four > 't/d/long name 4.txt' && "
          "find t -exec touch -d @1600000000 {} + && "
          "TZ=UTC genisoimage -quiet -J -o base.iso t");
    const std::vector<uint8_t> base = qvtest::ReadFileBytes(dir / "base.iso");
    ASSERT_GT(base.size(), 30u * 2048);
    // Descriptors and directories sit in the first sectors of so small an image.
    const size_t metadataEnd = std::min<size_t>(base.size(), 40 * 2048);
    const size_t firstMetadata = 16 * 2048;

    std::mt19937 random(20260101);
    auto pick = [&](size_t from, size_t to) {
        return std::uniform_int_distribution<size_t>(from, to - 1)(random);
    };
    const std::string path = dir / "m.iso";
    int opened = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<uint8_t> bytes = base;
        size_t size = bytes.size();
        switch (round % 4) {
            case 0:   // a few bit flips anywhere in the metadata
                for (int i = 0, n = 1 + static_cast<int>(pick(0, 8)); i < n; ++i) {
                    bytes[pick(firstMetadata, metadataEnd)] ^= static_cast<uint8_t>(1u << pick(0, 8));
                }
                break;
            case 1:   // random bytes
                for (int i = 0, n = 1 + static_cast<int>(pick(0, 4)); i < n; ++i) {
                    bytes[pick(firstMetadata, metadataEnd)] = static_cast<uint8_t>(pick(0, 256));
                }
                break;
            case 2: {  // a length byte of a directory record, or a name length
                size_t at = pick(18, 40) * 2048 + pick(0, 2048);
                while (at < metadataEnd && at % 2048 && bytes[at] == 0) ++at;
                if (at < metadataEnd) {
                    const size_t field = pick(0, 3) == 0 ? 32 : 0;
                    if (at + field < bytes.size()) bytes[at + field] = static_cast<uint8_t>(pick(0, 256));
                }
                break;
            }
            default:  // truncation, sometimes with a flip
                size = pick(16 * 2048, bytes.size());
                if (pick(0, 2)) bytes[pick(firstMetadata, std::min(size, metadataEnd))] ^= 0x10;
                break;
        }
        WriteAll(path, bytes, size);
        qvtest::PeakMemory peak;
        int code = -1;
        auto doc = isotest::OpenDoc(path, &code);
        if (doc) {
            ++opened;
            ASSERT_LE(Walk(*doc), size / image::dr::kMinRecordBytes) << "round " << round;
        } else {
            EXPECT_NE(code, image::open_result::kOk);
        }
        doc.reset();
        ASSERT_LT(peak.GrowthBytes(), size * kMemoryPerInputByte + kFixedMemoryBytes) << "round " << round;
    }
    // Most mutations leave an image that still opens.
    EXPECT_GT(opened, kRounds / 4);
}

}  // namespace
}  // namespace image
