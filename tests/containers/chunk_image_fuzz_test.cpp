// DMG, ISZ and UIF images around a small ISO, each mutated a few hundred
// times where their structure lies (trailer, property list and block tables;
// header, masked pointers and segment table; trailer and block table) and in
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
#include "containers/dmg/dmg_reader.h"
#include "containers/isz/isz_reader.h"
#include "containers/uif/uif_reader.h"
#include "image/document/image_context.h"
#include "tests/containers/chunk_image_fixture.h"
#include "tests/support/peak_memory.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

constexpr int kRounds = 400;
constexpr uint64_t kMemoryPerInputByte = 8;
constexpr uint64_t kFixedMemoryBytes = 96u << 20;

struct Format {
    const char* name;
    const char* make;   // arguments of the fixture writer after the source
    int (*open)(image::ImageContext&);
    // Where the structure lies: the first bytes and the last bytes of the file.
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
            const size_t lo = format.tail ? bytes.size() - std::min(format.tail, bytes.size()) : 0;
            const size_t hi = format.head ? std::min(format.head, bytes.size()) : bytes.size();
            switch (round % 4) {
                case 0:   // bit flips in the structure
                case 1:
                    for (int i = 0, n = 1 + int(pick(0, 6)); i < n; ++i)
                        bytes[pick(lo, hi)] ^= uint8_t(1u << pick(0, 8));
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
                        containers::ReadChunkImageSectors(ctx, s, buffer.data(), 16);
                }
            }
            ASSERT_LT(peak.GrowthBytes(), bytes.size() * kMemoryPerInputByte + kFixedMemoryBytes) << "round " << round;
        }
        // Mutations of the chunks and many of the tables leave an image that opens.
        EXPECT_GT(opened, kRounds / 8);
    }
}

}  // namespace
