// The deflate variant and CRC-32 side by side with zlib and libdeflate in one
// run, then the ratios: CRC-32 and decoder throughput (ours / zlib), encoder
// throughput and output size against zlib level 6; for the table, decoding
// against libdeflate's decompressor and encoding against its level 6 (the
// size held to within 0.5 % of zlib -6's).
//
// Corpus: the project's sources, the head of a tar of /usr/share/doc, random
// bytes, zeros and 1-byte inputs.

#include <benchmark/benchmark.h>
#include <zlib.h>
#ifdef QV_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "codecs/crc32.h"
#include "codecs/deflate_decoder.h"
#include "codecs/deflate_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string SourceRoot() {
    if (const char* root = std::getenv("QV_SOURCE_DIR"); root && *root) return root;
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::canonical("/proc/self/exe", ec).parent_path();
    for (; !ec && !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        const Bytes cache = ReadFile((dir / "CMakeCache.txt").string());
        const std::string text(cache.begin(), cache.end());
        const std::string key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
        const size_t at = text.find(key);
        if (at == std::string::npos) continue;
        return text.substr(at + key.size(), text.find('\n', at) - at - key.size());
    }
    return ".";
}

Bytes Sources() {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(SourceRoot(), ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().string();
        if (name.find("/.git") != std::string::npos || name.find("/build") != std::string::npos) continue;
        const std::string ext = it->path().extension().string();
        if (it->is_regular_file() && (ext == ".cpp" || ext == ".h" || ext == ".txt" || ext == ".md"))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    Bytes all;
    for (const auto& f : files) {
        const Bytes b = ReadFile(f.string());
        all.insert(all.end(), b.begin(), b.end());
    }
    return all;
}

Bytes DocTar(size_t cap) {
    char name[] = "/tmp/qv-deflate-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return {};
    close(fd);
    const std::string cmd = "tar -cf - -C /usr/share doc 2>/dev/null | head -c " + std::to_string(cap) + " > " + name;
    if (std::system(cmd.c_str()) != 0) return {};
    Bytes b = ReadFile(name);
    std::remove(name);
    return b;
}

struct Corpus {
    std::vector<Bytes> inputs;
    std::vector<Bytes> ours;   // variant-0 streams of the inputs
    size_t total = 0;
    Corpus() {
        inputs.push_back(Sources());
        inputs.push_back(DocTar(8 << 20));
        Bytes random(1 << 20);
        std::mt19937 rng(1);
        for (auto& x : random) x = static_cast<uint8_t>(rng());
        inputs.push_back(std::move(random));
        inputs.push_back(Bytes(1 << 20, 0));
        for (int i = 0; i < 64; ++i) inputs.push_back(Bytes{static_cast<uint8_t>(i)});
        for (const Bytes& in : inputs) {
            total += in.size();
            Bytes out(in.size() + 65536);
            const int64_t n = codecs::DeflateCompressBlock(in.data(), out.data(), in.size(), 0, out.size());
            out.resize(n > 0 ? static_cast<size_t>(n) : 0);
            ours.push_back(std::move(out));
        }
    }
};

const Corpus& TheCorpus() {
    static const Corpus corpus;
    return corpus;
}

std::map<std::string, double> g_bytesPerSecond;
std::map<std::string, double> g_outputBytes;

void Crc32Ours(benchmark::State& state) {
    Bytes b(65536);
    std::mt19937 rng(2);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    for (auto _ : state) benchmark::DoNotOptimize(codecs::Crc32(b.data(), b.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.size()));
}

void Crc32Zlib(benchmark::State& state) {
    Bytes b(65536);
    std::mt19937 rng(2);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    for (auto _ : state) benchmark::DoNotOptimize(crc32(0L, b.data(), static_cast<uInt>(b.size())));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.size()));
}

void InflateOurs(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    auto decoder = std::make_unique<codecs::DeflateDecoder>();
    Bytes out(16 << 20);
    for (auto _ : state) {
        for (size_t i = 0; i < c.inputs.size(); ++i) {
            const int64_t n = codecs::DeflateDecompressSized(*decoder, c.ours[i].data(), out.data(),
                                                                 c.ours[i].size(), static_cast<int64_t>(out.size()));
            if (n != static_cast<int64_t>(c.inputs[i].size())) state.SkipWithError("decode failed");
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.total));
}

void InflateZlib(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    Bytes out(16 << 20);
    z_stream s{};
    inflateInit2(&s, -15);
    for (auto _ : state) {
        for (size_t i = 0; i < c.inputs.size(); ++i) {
            inflateReset(&s);
            s.next_in = const_cast<uint8_t*>(c.ours[i].data());
            s.avail_in = static_cast<uInt>(c.ours[i].size());
            s.next_out = out.data();
            s.avail_out = static_cast<uInt>(out.size());
            if (inflate(&s, Z_FINISH) != Z_STREAM_END) state.SkipWithError("zlib decode failed");
        }
    }
    inflateEnd(&s);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.total));
}

void DeflateOurs(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    Bytes out(16 << 20);
    double size = 0;
    for (auto _ : state) {
        size = 0;
        for (const Bytes& in : c.inputs)
            size += static_cast<double>(codecs::DeflateCompressBlock(in.data(), out.data(), in.size(), 0, out.size()));
    }
    state.counters["out_bytes"] = size;
    g_outputBytes["ours"] = size;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.total));
}

void DeflateZlib6(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    Bytes out(16 << 20);
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    double size = 0;
    for (auto _ : state) {
        size = 0;
        for (const Bytes& in : c.inputs) {
            deflateReset(&s);
            s.next_in = const_cast<uint8_t*>(in.data());
            s.avail_in = static_cast<uInt>(in.size());
            s.next_out = out.data();
            s.avail_out = static_cast<uInt>(out.size());
            deflate(&s, Z_FINISH);
            size += static_cast<double>(s.total_out);
        }
    }
    deflateEnd(&s);
    state.counters["out_bytes"] = size;
    g_outputBytes["zlib6"] = size;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.total));
}

#ifdef QV_HAVE_LIBDEFLATE
void InflateLibdeflate(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    Bytes out(16 << 20);
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (auto _ : state) {
        for (size_t i = 0; i < c.inputs.size(); ++i) {
            size_t n = 0;
            if (libdeflate_deflate_decompress(d, c.ours[i].data(), c.ours[i].size(), out.data(), out.size(), &n) !=
                    LIBDEFLATE_SUCCESS ||
                n != c.inputs[i].size())
                state.SkipWithError("libdeflate decode failed");
        }
    }
    libdeflate_free_decompressor(d);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.total));
}

void DeflateLibdeflate6(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    Bytes out(16 << 20);
    libdeflate_compressor* e = libdeflate_alloc_compressor(6);
    double size = 0;
    for (auto _ : state) {
        size = 0;
        for (const Bytes& in : c.inputs)
            size += double(libdeflate_deflate_compress(e, in.data(), in.size(), out.data(), out.size()));
    }
    libdeflate_free_compressor(e);
    state.counters["out_bytes"] = size;
    g_outputBytes["libdeflate6"] = size;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.total));
}
BENCHMARK(InflateLibdeflate)->Unit(benchmark::kMillisecond);
BENCHMARK(DeflateLibdeflate6)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(Crc32Ours);
BENCHMARK(Crc32Zlib);
BENCHMARK(InflateOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(InflateZlib)->Unit(benchmark::kMillisecond);
BENCHMARK(DeflateOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(DeflateZlib6)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's throughput for the ratio lines.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end()) g_bytesPerSecond[r.benchmark_name()] = it->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void PrintRatio(const char* what, const std::string& ours, const std::string& theirs) {
    if (!g_bytesPerSecond.count(ours) || !g_bytesPerSecond.count(theirs)) return;
    std::printf("%-36s %.2fx\n", what, g_bytesPerSecond[ours] / g_bytesPerSecond[theirs]);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    PrintRatio("Crc32 / zlib crc32 (64 KB)", "Crc32Ours", "Crc32Zlib");
    PrintRatio("decoder / zlib inflate", "InflateOurs", "InflateZlib");
    PrintRatio("encoder / zlib level 6 (speed)", "DeflateOurs", "DeflateZlib6");
    if (g_outputBytes.count("ours") && g_outputBytes.count("zlib6"))
        std::printf("%-36s %.4f\n", "encoder / zlib level 6 (size)", g_outputBytes["ours"] / g_outputBytes["zlib6"]);
    // The table compares times per GB of input (lower is better).
    auto secondsPerGb = [](const std::string& name) {
        const auto it = g_bytesPerSecond.find(name);
        return it != g_bytesPerSecond.end() && it->second > 0 ? 1e9 / it->second : 0.0;
    };
    qvbench::TableRow("deflate variant decode", secondsPerGb("InflateOurs"), "libdeflate", secondsPerGb("InflateLibdeflate"),
                      1.0, "s/GB");
    qvbench::TableRow("deflate variant encode", secondsPerGb("DeflateOurs"), "libdeflate -6",
                      secondsPerGb("DeflateLibdeflate6"), 1.0, "s/GB");
    qvbench::TableRow("deflate variant encoded size", g_outputBytes["ours"], "zlib -6", g_outputBytes["zlib6"], 1.005,
                      "B");
    benchmark::Shutdown();
    return 0;
}
