#pragma once
// SHA-1 (FIPS 180-1): the digest by which a WIM names every stored stream and
// checks what it decodes.

#include <array>
#include <cstddef>
#include <cstdint>

namespace codecs {

using Sha1Digest = std::array<uint8_t, 20>;

class Sha1 {
public:
    Sha1() { Reset(); }
    void Reset();
    void Update(const void* data, size_t size);
    Sha1Digest Finish();   // the state is reset afterwards

private:
    void Blocks(const uint8_t* data, size_t count);

    std::array<uint32_t, 5> state_{};
    std::array<uint8_t, 64> pending_{};
    size_t pendingBytes_ = 0;
    uint64_t totalBytes_ = 0;
};

Sha1Digest Sha1Of(const void* data, size_t size);

// The block function in its two forms (tests compare them): the portable one,
// and the one on the processor's SHA instructions, which returns false and
// does nothing where the processor has none.
void Sha1BlocksPortable(std::array<uint32_t, 5>& state, const uint8_t* data, size_t blocks);
bool Sha1BlocksAccelerated(std::array<uint32_t, 5>& state, const uint8_t* data, size_t blocks);

}  // namespace codecs
