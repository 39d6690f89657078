// The deflate variant against zlib (raw inflate and deflate) and gzip, both
// directions, in every variant.

#include <gtest/gtest.h>

#include <thread>

#include "tests/codecs/deflate_corpus.h"

namespace {

using namespace deflatetest;
using namespace codecs;

class DeflateCorpus : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new qvtest::TempDir();
        corpus_ = new std::vector<CorpusItem>(Corpus(*dir_));
    }
    static void TearDownTestSuite() {
        delete corpus_;
        delete dir_;
    }
    static qvtest::TempDir* dir_;
    static std::vector<CorpusItem>* corpus_;
};
qvtest::TempDir* DeflateCorpus::dir_ = nullptr;
std::vector<CorpusItem>* DeflateCorpus::corpus_ = nullptr;

TEST_F(DeflateCorpus, ZlibInflatesVariantZeroAndReportsTheSameLength) {
    for (const CorpusItem& item : *corpus_) {
        SCOPED_TRACE(item.name);
        const Bytes stream = Encode(item.data, 0);
        ASSERT_FALSE(stream.empty());
        const ZlibResult z = ZlibInflateRaw(stream, item.data.size());
        EXPECT_EQ(z.status, Z_STREAM_END);
        EXPECT_EQ(z.data, item.data);
        EXPECT_EQ(z.totalIn, stream.size());
    }
}

// gzip -6 makes the same block decisions, so its raw body is a byte-exact
// oracle for our variant-0 output.
TEST_F(DeflateCorpus, VariantZeroEqualsTheBodyOfGzipSix) {
    for (const CorpusItem& item : *corpus_) {
        SCOPED_TRACE(item.name);
        const std::string path = *dir_ / ("in-" + item.name);
        qvtest::WriteFileBytes(path, item.data.data(), item.data.size());
        qvtest::RunOk("gzip -6 -n -c " + qvtest::ShellQuote(path) + " > " + qvtest::ShellQuote(path + ".gz"));
        const Bytes gz = qvtest::ReadFileBytes(path + ".gz");
        ASSERT_GT(gz.size(), 18u);
        const Bytes body(gz.begin() + 10, gz.end() - 8);   // RFC 1952 header and trailer
        EXPECT_TRUE(Encode(item.data, 0) == body);
    }
}

TEST_F(DeflateCorpus, EveryVariantRoundTripsAndDiffersOnlyInBlockTypes) {
    for (const CorpusItem& item : *corpus_) {
        SCOPED_TRACE(item.name);
        const Bytes zero = Encode(item.data, 0);
        const std::vector<size_t> headers = BlockHeaderBits(zero);
        for (int32_t variant = 0; variant <= 3; ++variant) {
            SCOPED_TRACE(variant);
            const Bytes stream = Encode(item.data, variant);
            EXPECT_TRUE(stream == PatchVariant(zero, headers, variant));
            const Decoded d = Decode(stream, variant, item.data.size());
            EXPECT_EQ(d.result, static_cast<int64_t>(item.data.size()));
            EXPECT_TRUE(d.data == item.data);
            EXPECT_EQ(d.consumed, stream.size());
        }
    }
}

// zlib's raw output at every level and strategy, in every variant through
// its block headers, and with trailing bytes that must be handed back.
TEST_F(DeflateCorpus, DecodesZlibRawStreamsOfEveryLevelAndStrategy) {
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (const CorpusItem& item : *corpus_) {
        SCOPED_TRACE(item.name);
        const Bytes input(item.data.begin(), item.data.begin() + std::min<size_t>(item.data.size(), 70000));
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : strategies) {
                SCOPED_TRACE(testing::Message() << "level " << level << " strategy " << strategy);
                const Bytes zs = ZlibDeflateRaw(input, level, strategy);
                const std::vector<size_t> headers = BlockHeaderBits(zs);
                for (int32_t variant = 0; variant <= 3; ++variant) {
                    Bytes stream = PatchVariant(zs, headers, variant);
                    stream.insert(stream.end(), {0xDE, 0xAD, 0xBE, 0xEF});
                    const Decoded d = Decode(stream, variant, input.size());
                    ASSERT_EQ(d.result, static_cast<int64_t>(input.size()));
                    ASSERT_TRUE(d.data == input);
                    ASSERT_EQ(d.consumed, zs.size());
                }
            }
        }
    }
}

TEST_F(DeflateCorpus, AStreamCutShortFailsInBothDecoders) {
    for (const CorpusItem& item : *corpus_) {
        SCOPED_TRACE(item.name);
        Bytes stream = Encode(item.data, 0);
        stream.pop_back();
        EXPECT_EQ(Decode(stream, 0, item.data.size() + 65536).result, -1);
        EXPECT_NE(ZlibInflateRaw(stream, item.data.size()).status, Z_STREAM_END);
    }
}

// Variants share some codes (0 and 3 both write 2 for a dynamic block), so
// only streams whose block codes mean another type elsewhere are checked.
TEST(Deflate, ReadWithTheWrongVariantFailsOrDiffers) {
    Bytes text;
    for (int i = 0; i < 400; ++i) {
        const std::string line = "line " + std::to_string(i * 7919 % 1000) + " of the comment\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    const struct {
        int32_t written;
        int32_t read;
    } rows[] = {{2, 0}, {1, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 3}, {3, 1}};
    for (const auto& row : rows) {
        const Bytes stream = Encode(text, row.written);
        const Decoded d = Decode(stream, row.read, text.size() + 65536);
        EXPECT_TRUE(d.result == -1 || d.data != text) << row.written << " read as " << row.read;
        EXPECT_TRUE(Decode(stream, row.written, text.size()).data == text);
    }
}

TEST(Deflate, IncompressibleInputIsStoredAndEmptyInputIsOneFinalBlock) {
    const Bytes random = RandomBytes(5000, 3);
    for (int32_t variant = 0; variant <= 3; ++variant) {
        const Bytes stream = Encode(random, variant);
        ASSERT_GE(stream.size(), random.size() + 5);
        EXPECT_EQ(GetBits(stream, 0, 1), 1u);   // one final block
        EXPECT_EQ(GetBits(stream, 1, 2), DeflateCodesForVariant(variant).stored);
        // After the 3 header bits and the padding: LEN, NLEN and the bytes.
        EXPECT_EQ(stream[1] | stream[2] << 8, 5000);
        EXPECT_EQ(stream[3] | stream[4] << 8, 5000 ^ 0xFFFF);
        EXPECT_TRUE(std::equal(random.begin(), random.end(), stream.begin() + 5));

        const Bytes empty = Encode({}, variant);
        ASSERT_FALSE(empty.empty());
        EXPECT_EQ(GetBits(empty, 0, 1), 1u);
        const Decoded d = Decode(empty, variant, 16);
        EXPECT_EQ(d.result, 0);
        EXPECT_EQ(d.consumed, empty.size());
    }
}

TEST(Deflate, DirectModeTakesAtMost64KAndMatchesTheWindowedMode) {
    const Bytes text = ProjectSources(65536);
    ASSERT_EQ(text.size(), 65536u);
    Bytes direct(text.size() + 65536);
    const int64_t n = DeflateCompress(text.data(), direct.data(), text.size(), direct.size());
    ASSERT_GT(n, 0);
    direct.resize(static_cast<size_t>(n));
    EXPECT_TRUE(direct == Encode(text, 0));
    Bytes big(65537, 'a');
    Bytes out(big.size() + 65536);
    EXPECT_EQ(DeflateCompress(big.data(), out.data(), big.size(), out.size()), -1);
}

TEST(Deflate, TheEncoderStopsAtItsOutputCapacity) {
    const Bytes random = RandomBytes(100000, 4);
    const Bytes full = Encode(random, 0);
    for (size_t capacity : {size_t{0}, size_t{3}, full.size() / 2, full.size() - 1}) {
        // Exactly sized, so a write past the capacity is a sanitizer error.
        std::unique_ptr<uint8_t[]> out(new uint8_t[std::max<size_t>(capacity, 1)]);
        EXPECT_EQ(DeflateCompressBlock(random.data(), out.get(), random.size(), 0, capacity), -1) << capacity;
    }
    std::unique_ptr<uint8_t[]> exact(new uint8_t[full.size()]);
    EXPECT_EQ(DeflateCompressBlock(random.data(), exact.get(), random.size(), 0, full.size()),
              static_cast<int64_t>(full.size()));
}

TEST(Deflate, TheDecoderStaysWithinItsOutputRoom) {
    const Bytes text = ProjectSources(100000);
    const Bytes stream = Encode(text, 0);
    for (size_t room : {size_t{1}, size_t{300}, text.size() / 2, text.size() - 1})
        EXPECT_EQ(Decode(stream, 0, room).result, -1) << room;
    EXPECT_EQ(Decode(stream, 0, text.size()).result, static_cast<int64_t>(text.size()));
}

TEST(Deflate, TheRoomOfASizedCallLastsForThatCallOnly) {
    const Bytes text = ProjectSources(100000);
    const Bytes stream = Encode(text, 0);
    DeflateDecoder decoder;
    Bytes out(text.size());
    EXPECT_EQ(DeflateDecompressSized(decoder, stream.data(), out.data(), stream.size(), 100000), 100000);
    EXPECT_EQ(decoder.outputRoom, 0);
    EXPECT_TRUE(out == text);
    // The default room of 65536 bytes is too small for this stream.
    EXPECT_EQ(DeflateDecompress(decoder, stream.data(), out.data(), stream.size()), -1);
    EXPECT_EQ(DeflateDecompressSized(decoder, stream.data(), out.data(), stream.size(), -1), -1);
}

// Each thread codes with its own state: the log's threads and a save run
// side by side and every stream stays what one thread alone would make.
TEST(Deflate, ThreadsCompressIndependently) {
    std::vector<Bytes> inputs;
    const Bytes sources = ProjectSources(100000);
    for (uint32_t i = 0; i < 4; ++i) {
        Bytes b(sources.begin(), sources.begin() + 40000 + 15000 * i);
        Bytes r = RandomBytes(3000 * i, i);
        b.insert(b.begin() + static_cast<long>(b.size() / 2), r.begin(), r.end());
        inputs.push_back(std::move(b));
    }
    std::vector<Bytes> expected;
    for (const Bytes& in : inputs) expected.push_back(Encode(in, 1));
    std::vector<int> mismatches(inputs.size(), 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < inputs.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round)
                if (Encode(inputs[t], 1) != expected[t]) ++mismatches[t];
        });
    }
    for (auto& th : threads) th.join();
    for (size_t t = 0; t < inputs.size(); ++t) EXPECT_EQ(mismatches[t], 0) << t;
}

TEST(Deflate, ResetEntryPointsLeaveTheNextStreamIntact) {
    const Bytes text = ProjectSources(20000);
    const Bytes before = Encode(text, 2);
    ResetDeflateEncoder();
    InitDeflateTrees();
    EXPECT_TRUE(Encode(text, 2) == before);
}

}  // namespace
