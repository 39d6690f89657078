// Small volumes of mkfs.fat and mcopy mutated a few thousand times (bit
// flips and random bytes in the boot sector, the FATs, the directories and
// the first data clusters; truncation), each mounted, walked, read, and
// edited when it allows edits. A clean return is asked (the sanitizers see
// every out-of-bounds access), no more items than the image has 32-byte
// entries, and a peak memory within a bound of the input's size.

#include "filesystems/fat/fat_volume.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <random>

#include "filesystems/fat/fat_volume_hooks.h"
#include "filesystems/fat/fat_write.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/build/add_disk_files.h"
#include "image/document/fat_volume_services.h"
#include "tests/filesystems/fat/fat_fixtures.h"
#include "tests/support/peak_memory.h"

namespace fattest {
namespace {

constexpr int kRounds = 1000;
constexpr uint64_t kMemoryPerInputByte = 24;
constexpr uint64_t kFixedMemoryBytes = 64u << 20;

// Reads the tree and a little of every file; returns the items met.
size_t Walk(image::ImageContext& ctx) {
    size_t items = 0;
    std::vector<const image::ImageFolder*> work{ctx.rootFolder};
    std::vector<uint8_t> buffer(8192);
    while (!work.empty()) {
        const image::ImageFolder* folder = work.back();
        work.pop_back();
        for (const image::ImageItem* item = folder->firstItem; item; item = item->next) {
            ++items;
            if (image::IsFolderItem(item)) {
                if (item->ownFolder) work.push_back(item->ownFolder);
            } else {
                filesystems::ReadFatFileData(ctx, item, buffer.data(), 0, uint32_t(buffer.size()));
                filesystems::ReadFatFileData(ctx, item, buffer.data(), 9, uint32_t(buffer.size()));
            }
        }
    }
    return items;
}

struct Fixture {
    const char* name;
    const char* mkfs;
    uint32_t kib;
    size_t metadataBytes;   // the mutations fall into this many leading bytes
    bool truncate;
};

class FatVolumeFuzz : public ::testing::TestWithParam<Fixture> {};

TEST_P(FatVolumeFuzz, MutatedVolumesReturnCleanly) {
    const Fixture& fixture = GetParam();
    UseMtoolsCodePage();
    qvtest::TempDir dir;
    qvtest::TempDir config;
    ::setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> scopedUi(&ui);
    foundation::ScopedServices<image::SetFatVolumeServices> writer(&filesystems::FatVolumeWriterServices());
    const std::string base = dir / "base.img";
    RunOk("cd " + ShellQuote(dir.path()) + " && mkdir -p t/a/b/c t/d && echo one > t/a/1.txt && "
          "head -c 3000 /dev/urandom > t/a/b/2.bin && echo three > t/a/b/c/3 && echo four > 't/d/long name 4.txt' && "
          "echo add > add.txt && mkfs.fat -C " + fixture.mkfs + " -i 1 base.img " + std::to_string(fixture.kib) +
          " >/dev/null 2>&1 && " + Mtools() + "mcopy -s -i base.img t/* ::/");
    const std::vector<uint8_t> original = qvtest::ReadFileBytes(base);
    const size_t metadataEnd = std::min(original.size(), fixture.metadataBytes);
    const int fd = ::open(base.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);

    std::mt19937 random(20261211);
    auto pick = [&](size_t from, size_t to) { return std::uniform_int_distribution<size_t>(from, to - 1)(random); };
    int opened = 0;
    for (int round = 0; round < kRounds; ++round) {
        // Changes go into the file in place and are undone after the round,
        // so large volumes cost only what changed.
        std::vector<std::pair<size_t, uint8_t>> changed;
        auto put = [&](size_t at, uint8_t value) {
            changed.emplace_back(at, original[at]);
            ASSERT_EQ(::pwrite(fd, &value, 1, off_t(at)), 1);
        };
        size_t size = original.size();
        switch (round % 4) {
        case 0:
            for (int i = 0, n = 1 + int(pick(0, 8)); i < n; ++i) {
                const size_t at = pick(0, metadataEnd);
                put(at, uint8_t(original[at] ^ (1u << pick(0, 8))));
            }
            break;
        case 1:
            for (int i = 0, n = 1 + int(pick(0, 4)); i < n; ++i) put(pick(0, metadataEnd), uint8_t(pick(0, 256)));
            break;
        case 2:   // a boot field's low byte
            put(pick(11, 64), uint8_t(pick(0, 256)));
            break;
        default:
            if (fixture.truncate) {
                size = pick(512, original.size());
                ASSERT_EQ(::ftruncate(fd, off_t(size)), 0);
            } else {
                put(pick(0, metadataEnd), 0xFF);
            }
            break;
        }
        {
            qvtest::PeakMemory peak;
            image::DocumentPtr ctx = OpenVolume(base);
            if (ctx) {
                ++opened;
                ASSERT_LE(Walk(*ctx), size / 32) << "round " << round;
                foundation::OperationStatus = 0;
                image::AddDiskItem(ctx.get(), ctx->rootFolder, platform::Utf8ToUtf16(dir / "add.txt"), u"added.txt");
                if (image::ImageFolder* a = image::FindFolderByPath(ctx.get(), nullptr, u"/a")) {
                    image::DeleteFolder(ctx.get(), a);
                }
                Walk(*ctx);
                foundation::OperationStatus = 0;
            }
            ctx.reset();
            ASSERT_LT(peak.GrowthBytes(), size * kMemoryPerInputByte + kFixedMemoryBytes) << "round " << round;
        }
        for (auto it = changed.rbegin(); it != changed.rend(); ++it) {
            ASSERT_EQ(::pwrite(fd, &it->second, 1, off_t(it->first)), 1);
        }
        if (size != original.size()) {
            ASSERT_EQ(::pwrite(fd, original.data() + size, original.size() - size, off_t(size)),
                      ssize_t(original.size() - size));
        }
    }
    ::close(fd);
    EXPECT_GT(opened, kRounds / 4);
}

const Fixture kFixtures[] = {
    // The floppy's boot sector, FATs, root and first clusters lie in its first 40 sectors.
    {"Fat12", "-F 12", 1440, 40 * 512, true},
    // Reserved area, two FATs of 600 sectors and the first clusters.
    {"Fat32", "-F 32 -s 1", 34000, 1300 * 512, false},
};
INSTANTIATE_TEST_SUITE_P(Volumes, FatVolumeFuzz, ::testing::ValuesIn(kFixtures),
                         [](const ::testing::TestParamInfo<Fixture>& info) { return info.param.name; });

}  // namespace
}  // namespace fattest
