#include "codecs/deflate_chain.h"

#include <algorithm>
#include <memory>
#include <new>

#include "codecs/byte_order.h"
#include "codecs/deflate_decoder.h"
#include "codecs/deflate_encoder.h"

namespace codecs {

int64_t DeflateCompressBuffer(const uint8_t* input, uint8_t* output, size_t length, size_t outputCapacity) {
    if ((!input && length > 0) || !output || length > 0xFFFFFFFFu) return -1;
    if (outputCapacity < 8) return -1;
    WriteLE32(output, static_cast<uint32_t>(length));
    size_t pos = 4;
    for (size_t done = 0; done < length;) {
        const size_t segment = std::min(kDeflateChainSegment, length - done);
        if (outputCapacity - pos < 4) return -1;
        const int64_t n = DeflateCompress(input + done, output + pos + 4, segment, outputCapacity - pos - 4);
        if (n <= 0) return -1;
        WriteLE32(output + pos, static_cast<uint32_t>(n));
        pos += 4 + static_cast<size_t>(n);
        done += segment;
    }
    if (outputCapacity - pos < 4) return -1;
    WriteLE32(output + pos, 0);
    return static_cast<int64_t>(pos + 4);
}

int64_t DeflateDecompressChain(const uint8_t* entries, size_t entriesLength, uint8_t* output,
                               size_t outputCapacity, size_t* endPosition) {
    if (!entries || (!output && outputCapacity > 0)) return -1;
    std::unique_ptr<DeflateDecoder> decoder;
    try {
        decoder = std::make_unique<DeflateDecoder>();
    } catch (const std::bad_alloc&) {
        return -1;
    }
    size_t pos = 0;
    size_t produced = 0;
    for (;;) {
        if (entriesLength - pos < 4) return -1;
        const uint32_t n = ReadLE32(entries + pos);
        pos += 4;
        if (n == 0) break;
        if (n > entriesLength - pos) return -1;
        // Check the room before writing: a segment never exceeds 65536 bytes
        // and never what is left of the output.
        const size_t room = std::min(kDeflateChainSegment, outputCapacity - produced);
        if (room == 0) return -1;
        const int64_t got =
            DeflateDecompressSized(*decoder, entries + pos, output + produced, n, static_cast<int64_t>(room));
        if (got <= 0) return -1;
        produced += static_cast<size_t>(got);
        pos += n;
    }
    if (endPosition) *endPosition = pos;
    return static_cast<int64_t>(produced);
}

int InflateBuffer(const uint8_t* chain, size_t chainLength, std::vector<uint8_t>& out, size_t* nextPosition) {
    if (!chain || chainLength < 8) return -1;
    const uint32_t total = ReadLE32(chain);
    // Walk the entries first, so a damaged total length cannot make us
    // allocate more than the segments present could ever produce.
    uint64_t segments = 0;
    for (size_t pos = 4;;) {
        if (chainLength - pos < 4) return -1;
        const uint32_t n = ReadLE32(chain + pos);
        pos += 4;
        if (n == 0) break;
        if (n > chainLength - pos) return -1;
        pos += n;
        ++segments;
    }
    if (total > segments * kDeflateChainSegment) return -1;
    try {
        out.assign(total, 0);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    size_t end = 0;
    const int64_t got = DeflateDecompressChain(chain + 4, chainLength - 4, out.data(), total, &end);
    if (got != static_cast<int64_t>(total)) {
        out.clear();
        return -1;
    }
    if (nextPosition) *nextPosition = 4 + end;
    return 0;
}

}  // namespace codecs
