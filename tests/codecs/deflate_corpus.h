#pragma once
// Inputs and zlib helpers shared by the deflate-variant tests.

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "codecs/deflate_decoder.h"
#include "codecs/deflate_encoder.h"
#include "codecs/deflate_format.h"
#include "tests/support/test_support.h"

namespace deflatetest {

using Bytes = std::vector<uint8_t>;

struct CorpusItem {
    std::string name;
    Bytes data;
};

inline Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
}

// The source tree: QV_TEST_SOURCE_DIR (a compile definition of the test
// build), else the CMAKE_HOME_DIRECTORY of the build tree that holds this
// test program.
inline std::string SourceRoot() {
#ifdef QV_TEST_SOURCE_DIR
    if (const std::string root = QV_TEST_SOURCE_DIR; !root.empty()) return root;
#endif
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::canonical("/proc/self/exe", ec).parent_path();
    for (; !ec && !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        const Bytes cache = qvtest::ReadFileBytes((dir / "CMakeCache.txt").string());
        const std::string text(cache.begin(), cache.end());
        const std::string key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
        const size_t at = text.find(key);
        if (at == std::string::npos) continue;
        const size_t end = text.find('\n', at);
        return text.substr(at + key.size(), end - at - key.size());
    }
    return ".";
}

// The project's own sources, concatenated in a fixed order.
inline Bytes ProjectSources(size_t cap) {
    const std::string root = SourceRoot();
    std::vector<std::filesystem::path> files;
    for (const char* dir : {"codecs", "platform", "tests/codecs"}) {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(root + "/" + dir, ec))
            if (e.is_regular_file()) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    Bytes all;
    for (const auto& f : files) {
        Bytes b = qvtest::ReadFileBytes(f.string());
        all.insert(all.end(), b.begin(), b.end());
        if (all.size() >= cap) break;
    }
    if (all.size() > cap) all.resize(cap);
    return all;
}

// The head of a tar of /usr/share/doc: text, binaries and compressed files.
inline Bytes DocTar(const qvtest::TempDir& dir, size_t cap) {
    const std::string path = dir / "doc.tar";
    qvtest::RunOk("tar -cf - -C /usr/share doc 2>/dev/null | head -c " + std::to_string(cap) + " > " +
                  qvtest::ShellQuote(path));
    return qvtest::ReadFileBytes(path);
}

// Every kind of input the coder must handle; sizes keep a sanitizer build quick.
inline std::vector<CorpusItem> Corpus(const qvtest::TempDir& dir, size_t cap = 400000) {
    std::vector<CorpusItem> c;
    c.push_back({"sources", ProjectSources(cap)});
    c.push_back({"doc-tar", DocTar(dir, cap)});
    c.push_back({"random", RandomBytes(std::min<size_t>(cap, 150000), 99)});
    c.push_back({"zeros", Bytes(std::min<size_t>(cap, 300000), 0)});
    c.push_back({"one-byte", Bytes{0x41}});
    c.push_back({"empty", Bytes{}});
    return c;
}

// Our encoder, with the room the callers give (input + 65536).
inline Bytes Encode(const Bytes& in, int32_t variant) {
    Bytes out(in.size() + 65536);
    const int64_t n = codecs::DeflateCompressBlock(in.data(), out.data(), in.size(), variant, out.size());
    if (n < 0) return {};
    out.resize(static_cast<size_t>(n));
    return out;
}

struct Decoded {
    int64_t result = -1;
    Bytes data;
    size_t consumed = 0;
};

// Our decoder with an output of exactly room bytes (ASan sees any overrun).
inline Decoded Decode(const Bytes& stream, int32_t variant, size_t room) {
    auto decoder = std::make_unique<codecs::DeflateDecoder>();
    decoder->variant = variant;
    Decoded d;
    d.data.resize(std::max<size_t>(room, 1));
    // An exactly sized copy of the input, so an over-read is caught too.
    std::unique_ptr<uint8_t[]> in(new uint8_t[std::max<size_t>(stream.size(), 1)]);
    std::copy(stream.begin(), stream.end(), in.get());
    d.result = codecs::DeflateDecompressSized(*decoder, in.get(), d.data.data(), stream.size(),
                                                  static_cast<int64_t>(room));
    d.data.resize(d.result > 0 ? static_cast<size_t>(d.result) : 0);
    d.consumed = decoder->inputPosition;
    return d;
}

struct ZlibResult {
    int status = Z_DATA_ERROR;
    Bytes data;
    size_t totalIn = 0;
};

inline ZlibResult ZlibInflateRaw(const Bytes& stream, size_t room) {
    ZlibResult r;
    r.data.resize(room + 1);
    z_stream s{};
    inflateInit2(&s, -15);
    s.next_in = const_cast<Bytes::value_type*>(stream.data());
    s.avail_in = static_cast<uInt>(stream.size());
    s.next_out = r.data.data();
    s.avail_out = static_cast<uInt>(r.data.size());
    r.status = inflate(&s, Z_FINISH);
    r.data.resize(s.total_out);
    r.totalIn = s.total_in;
    inflateEnd(&s);
    return r;
}

inline Bytes ZlibDeflateRaw(const Bytes& in, int level, int strategy) {
    z_stream s{};
    deflateInit2(&s, level, Z_DEFLATED, -15, 8, strategy);
    Bytes out(deflateBound(&s, in.size()) + 16);
    s.next_in = const_cast<Bytes::value_type*>(in.data());
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// Bit positions of every block header of a standard raw stream, found by
// letting zlib stop at each block boundary (Z_BLOCK).
inline std::vector<size_t> BlockHeaderBits(const Bytes& stream) {
    std::vector<size_t> positions{0};
    Bytes sink(1 << 16);
    z_stream s{};
    inflateInit2(&s, -15);
    s.next_in = const_cast<Bytes::value_type*>(stream.data());
    s.avail_in = static_cast<uInt>(stream.size());
    for (;;) {
        s.next_out = sink.data();
        s.avail_out = static_cast<uInt>(sink.size());
        const int ret = inflate(&s, Z_BLOCK);
        if (ret == Z_STREAM_END || (ret != Z_OK && ret != Z_BUF_ERROR)) break;
        // Bit 128: stopped at a block boundary; bit 64: the block just ended
        // was the last one, so no header follows.
        if ((s.data_type & 128) && !(s.data_type & 64)) {
            const size_t bit = s.total_in * 8 - (s.data_type & 7);
            if (bit != positions.back()) positions.push_back(bit);
        }
        if (ret == Z_BUF_ERROR && s.avail_in == 0) break;
    }
    inflateEnd(&s);
    return positions;
}

inline unsigned GetBits(const Bytes& b, size_t bit, unsigned n) {
    unsigned v = 0;
    for (unsigned i = 0; i < n; ++i) v |= ((b[(bit + i) / 8] >> ((bit + i) % 8)) & 1u) << i;
    return v;
}

inline void SetBits(Bytes& b, size_t bit, unsigned n, unsigned v) {
    for (unsigned i = 0; i < n; ++i) {
        const uint8_t mask = static_cast<uint8_t>(1u << ((bit + i) % 8));
        if ((v >> i) & 1u) {
            b[(bit + i) / 8] |= mask;
        } else {
            b[(bit + i) / 8] &= static_cast<uint8_t>(~mask);
        }
    }
}

// Rewrites the BTYPE field of each listed block header of a variant-0
// stream to the codes of another variant.
inline Bytes PatchVariant(Bytes stream, const std::vector<size_t>& headers, int32_t variant) {
    const codecs::DeflateBlockTypeCodes c = codecs::DeflateCodesForVariant(variant);
    for (size_t h : headers) {
        const unsigned type = GetBits(stream, h + 1, 2);
        const unsigned code = type == 0 ? c.stored : type == 1 ? c.fixed : c.dynamic;
        SetBits(stream, h + 1, 2, code);
    }
    return stream;
}

}  // namespace deflatetest
