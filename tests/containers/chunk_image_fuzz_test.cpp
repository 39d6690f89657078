// DMG, ISZ, UIF and DAA images around a small ISO, each mutated a few hundred
// times where their structure lies (trailer, property list and block tables;
// header, masked pointers and segment table; trailer and block table; header,
// records and bit-packed table) and in
// their compressed chunks, then opened and read whole. A clean return is asked
// (the sanitizers see every out-of-bounds access), in bounded time, and a
// peak memory within a few times the input plus a fixed amount.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "containers/chunk/chunk_engine.h"
#include "containers/daa/daa_container.h"
#include "containers/dmg/dmg_reader.h"
#include "containers/isz/isz_reader.h"
#include "containers/uif/uif_reader.h"
#include "image/document/image_context.h"
#include "image/sectors/sector_io.h"
#include "tests/containers/chunk_image_fixture.h"
#include "tests/support/peak_memory.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

constexpr int kRounds = 400;
constexpr uint64_t kMemoryPerInputByte = 8;
constexpr uint64_t kFixedMemoryBytes = 96u << 20;

int AttachDaa(image::ImageContext& ctx) {
    ctx.formatCode = image::format_code::kDaa;
    return containers::AttachDaaContainer(ctx);
}

struct Format {
    const char* name;
    const char* make;   // arguments of the fixture writer after the source
    int (*open)(image::ImageContext&);
    // Where the structure lies: the first bytes and the last bytes of the file
    // (0: not there).
    size_t head;
    size_t tail;
};

TEST(ChunkImageFuzz, MutatedImagesReturnCleanly) {
    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p tree/sub && head -c 40000 /dev/urandom > tree/rnd.bin"
          " && seq 1 5000 > tree/sub/n.txt && xorriso -as mkisofs -quiet -J -o t.iso tree 2>/dev/null");
    const Format formats[] = {
        {"dmg", "t.dmg zlib,bzip2,raw,adc 16 2", containers::OpenDmgImage, 0, 6000},
        {"isz", "t.isz zlib,bzip2,isz,stored 8192", containers::OpenIszImage, 400, 0},
        {"uif", "t.uif 5,1,7 16384 2048", containers::OpenUifImage, 0, 400},
        {"daa", "t.daa kinds=lzma,deflate,stored chunk=16384 v=4 mask=1 comment=c", AttachDaa, 300, 0},
        {"daa", "t.daa format=0x100", AttachDaa, 300, 0},
        {"daa", "t.daa kinds=deflate,lzma hxi=1 compressed=1 atend=1", AttachDaa, 100, 100},
    };
    chunktest::Readers readers;   // the probe reads through the installed sector readers
    std::mt19937 random(20261211);
    auto pick = [&](size_t from, size_t to) { return std::uniform_int_distribution<size_t>(from, to - 1)(random); };
    for (const Format& format : formats) {
        SCOPED_TRACE(format.name);
        const std::string name = std::string("t.") + format.name;
        RunOk("cd " + ShellQuote(dir.path()) + " && python3 " + chunktest::FixtureScript() + " " + format.name +
              " t.iso " + format.make);
        const std::vector<uint8_t> base = qvtest::ReadFileBytes(dir / name);
        const std::string path = dir / ("m." + std::string(format.name));
        int opened = 0;
        for (int round = 0; round < kRounds; ++round) {
            std::vector<uint8_t> bytes = base;
            // The structure: the head, the tail, or (both given) either.
            auto structure = [&]() {
                const bool inTail = format.tail && (!format.head || pick(0, 2) == 1);
                return inTail ? pick(bytes.size() - std::min(format.tail, bytes.size()), bytes.size())
                              : pick(0, std::min(format.head ? format.head : bytes.size(), bytes.size()));
            };
            switch (round % 4) {
                case 0:   // bit flips in the structure
                case 1:
                    for (int i = 0, n = 1 + int(pick(0, 6)); i < n; ++i) bytes[structure()] ^= uint8_t(1u << pick(0, 8));
                    break;
                case 2:   // random bytes anywhere, the chunks too
                    for (int i = 0, n = 1 + int(pick(0, 8)); i < n; ++i) bytes[pick(0, bytes.size())] = uint8_t(pick(0, 256));
                    break;
                default:  // truncation
                    bytes.resize(pick(1, bytes.size()));
                    break;
            }
            qvtest::WriteFileBytes(path, bytes.data(), bytes.size());
            qvtest::PeakMemory peak;
            {
                image::ImageContext ctx;
                ctx.imagePath = chunktest::U(path);
                ctx.imageHandle.reset(foundation::OpenFileForRead(ctx.imagePath));
                ASSERT_TRUE(ctx.imageHandle);
                ctx.quietReads = 1;
                if (format.open(ctx) == 0) {
                    ++opened;
                    std::vector<uint8_t> buffer(16 * 2048);
                    for (int32_t s = 0; s < std::min(ctx.endSector, 4096); s += 16)
                        image::ReadImageSectors(ctx, s, buffer.data(), 16);
                }
            }
            ASSERT_LT(peak.GrowthBytes(), bytes.size() * kMemoryPerInputByte + kFixedMemoryBytes) << "round " << round;
        }
        // Mutations of the chunks and many of the tables leave an image that
        // opens (a DAA header is guarded by its CRC: only truncation and
        // chunk damage leave it whole).
        EXPECT_GT(opened, std::string(format.name) == "daa" ? kRounds / 20 : kRounds / 8);
    }
}

}  // namespace
