// The LZX and XPRESS decoders against chunks that wimlib-imagex compressed:
// files of text, an x86 program (E8 calls), zeros, random bytes, 1 byte and
// 32769 bytes are captured, their chunks cut out of the WIM by its chunk
// tables, and every chunk must decode to the source's bytes. Then the chunks
// are mutated a few thousand times: every decode returns (true or false)
// without reading or writing outside its spans.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "codecs/lzx_decoder.h"
#include "codecs/sha1.h"
#include "codecs/xpress_decoder.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;
using Bytes = std::vector<uint8_t>;

uint64_t Le(const Bytes& b, size_t at, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint64_t{b.at(at + size_t(i))} << (8 * i);
    return v;
}

struct Chunk {
    Bytes stored;
    Bytes expected;
};

// The compressed chunks of every stream of a WIM whose hash is one of the
// sources (stored chunks, which need no decoder, are left out).
std::vector<Chunk> CutChunks(const Bytes& wim, const std::map<codecs::Sha1Digest, Bytes>& sources) {
    std::vector<Chunk> chunks;
    const size_t table = size_t(Le(wim, 48 + 8, 8));
    const size_t entries = size_t(Le(wim, 48 + 16, 8)) / 50;
    for (size_t i = 0; i < entries; ++i) {
        const size_t e = table + i * 50;
        codecs::Sha1Digest hash;
        std::memcpy(hash.data(), &wim.at(e + 30), 20);
        auto source = sources.find(hash);
        if (source == sources.end() || !(wim.at(e + 7) & 4)) continue;
        const uint64_t stored = Le(wim, e, 7), offset = Le(wim, e + 8, 8), size = Le(wim, e + 16, 8);
        EXPECT_EQ(size, source->second.size());
        const uint64_t n = (size + 32767) / 32768;
        std::vector<uint64_t> starts{0};
        for (uint64_t k = 1; k < n; ++k) starts.push_back(Le(wim, size_t(offset + 4 * (k - 1)), 4));
        const uint64_t data = offset + 4 * (n - 1);
        starts.push_back(stored - 4 * (n - 1));
        for (uint64_t k = 0; k < n; ++k) {
            const uint64_t chunkSize = k + 1 < n ? 32768 : size - (n - 1) * 32768;
            Chunk c;
            c.stored.assign(wim.begin() + long(data + starts[k]), wim.begin() + long(data + starts[k + 1]));
            c.expected.assign(source->second.begin() + long(k * 32768), source->second.begin() + long(k * 32768 + chunkSize));
            if (c.stored.size() < c.expected.size()) chunks.push_back(std::move(c));
        }
    }
    return chunks;
}

bool Decode(bool lzx, const Bytes& in, Bytes& out) {
    return lzx ? codecs::DecodeLzxChunk(in, out) : codecs::DecodeXpressChunk(in, out);
}

class WimChunksTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new qvtest::TempDir;
        const std::string d = ShellQuote(dir_->path());
        RunOk("cd " + d + " && mkdir src && seq 1 30000 > src/text && cp /bin/ls src/x86 && cp /bin/bash src/x86b" +
              " && head -c 200000 /dev/zero > src/zeros && head -c 100000 /dev/urandom > src/random" +
              " && printf q > src/one && (seq 1 10000 | head -c 32769) > src/odd" +
              " && (head -c 50000 /dev/urandom; seq 1 20000) > src/mixed" +
              " && (for i in $(seq 1 8); do seq 1 2000 | head -c 16000; head -c 16768 /dev/urandom; done) > src/halves && wimlib-imagex capture src lzx.wim x --compress=LZX >/dev/null" +
              " && wimlib-imagex capture src xpress.wim x --compress=XPRESS >/dev/null");
        for (const char* name : {"text", "x86", "x86b", "zeros", "random", "one", "odd", "mixed", "halves"}) {
            Bytes bytes = qvtest::ReadFileBytes(*dir_ / (std::string("src/") + name));
            sources_[codecs::Sha1Of(bytes.data(), bytes.size())] = bytes;
        }
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::vector<Chunk> Chunks(const char* wim) { return CutChunks(qvtest::ReadFileBytes(*dir_ / wim), sources_); }

    static qvtest::TempDir* dir_;
    static std::map<codecs::Sha1Digest, Bytes> sources_;
};
qvtest::TempDir* WimChunksTest::dir_ = nullptr;
std::map<codecs::Sha1Digest, Bytes> WimChunksTest::sources_;

TEST_F(WimChunksTest, WimlibChunksDecodeToTheirSource) {
    for (const bool lzx : {true, false}) {
        const std::vector<Chunk> chunks = Chunks(lzx ? "lzx.wim" : "xpress.wim");
        EXPECT_GT(chunks.size(), 20u) << lzx;
        for (size_t i = 0; i < chunks.size(); ++i) {
            Bytes out(chunks[i].expected.size());
            ASSERT_TRUE(Decode(lzx, chunks[i].stored, out)) << (lzx ? "LZX" : "XPRESS") << " chunk " << i;
            EXPECT_TRUE(out == chunks[i].expected) << (lzx ? "LZX" : "XPRESS") << " chunk " << i;
        }
    }
}

// Each decode gets exactly sized copies, so the sanitizers catch a read or
// write one byte outside.
TEST_F(WimChunksTest, MutatedChunksReturnCleanly) {
    std::mt19937 random(7);
    for (const bool lzx : {true, false}) {
        const std::vector<Chunk> chunks = Chunks(lzx ? "lzx.wim" : "xpress.wim");
        ASSERT_FALSE(chunks.empty());
        int failed = 0;
        for (int round = 0; round < 3000; ++round) {
            const Chunk& c = chunks[random() % chunks.size()];
            Bytes in = c.stored;
            const int flips = 1 + int(random() % 4);
            for (int k = 0; k < flips; ++k) in[random() % in.size()] ^= uint8_t(1u << (random() % 8));
            if (random() % 8 == 0) in.resize(random() % in.size());
            Bytes out(c.expected.size());
            if (!Decode(lzx, in, out)) ++failed;
        }
        // Most damage is seen by the decoder itself; the rest by the stream's hash.
        EXPECT_GT(failed, 0);
    }
}

}  // namespace
