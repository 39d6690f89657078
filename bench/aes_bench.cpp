// AES throughput of each kernel on 64 KiB buffers, the size `openssl speed
// -evp aes-256-ecb -bytes 65536` uses; bench/aes.sh prints the ratios against it.

#include <benchmark/benchmark.h>

#include <vector>

#include "codecs/aes.h"
#include "codecs/aes_kernels.h"

namespace {

template <void (*Kernel)(const codecs::AesKeySchedule&, uint8_t*, const uint8_t*, size_t)>
void Run(benchmark::State& state) {
    codecs::AesKeySchedule s;
    codecs::AesSetKey(s, "benchmark password", static_cast<int>(state.range(0)));
    std::vector<uint8_t> buf(65536, 0x5A);
    for (auto _ : state) {
        Kernel(s, buf.data(), buf.data(), buf.size() / 16);
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buf.size()));
}

BENCHMARK(Run<codecs::aes_internal::EncryptTable>)->Name("AesTableEncrypt")->Arg(16)->Arg(32);
BENCHMARK(Run<codecs::aes_internal::DecryptTable>)->Name("AesTableDecrypt")->Arg(16)->Arg(32);
#if defined(__x86_64__) || defined(__i386__)
BENCHMARK(Run<codecs::aes_internal::EncryptAesNi>)->Name("AesNiEncrypt")->Arg(16)->Arg(32);
BENCHMARK(Run<codecs::aes_internal::DecryptAesNi>)->Name("AesNiDecrypt")->Arg(16)->Arg(32);
#endif

}  // namespace
