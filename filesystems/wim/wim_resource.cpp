#include "filesystems/wim/wim_resource.h"

#include <algorithm>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

#include "codecs/lzx_decoder.h"
#include "codecs/xpress_decoder.h"
#include "filesystems/wim/wim_decode_pool.h"
#include "foundation/operation_status.h"
#include "foundation/progress_callbacks.h"
#include "image/document/pause_cancel.h"
#include "platform/file.h"

namespace filesystems::wim {
namespace {

// Stored resources are copied in pieces of this size, compressed ones decoded
// in batches of this many chunks: one read per batch, and the batch's chunks
// shared among the decoding threads.
constexpr size_t kCopyPieceBytes = 1 << 20;
constexpr uint64_t kBatchChunks = 128;
// Below this many chunks in a batch a second thread costs more than it saves.
constexpr uint64_t kChunksPerThread = 16;

// pread: the extraction and the virtual drive may read one part at once.
bool ReadAt(foundation::FileHandle file, void* buffer, uint64_t offset, size_t size) {
    return platform::FileReadAt(file, offset, buffer, size) == static_cast<int64_t>(size);
}

bool Cancelled(foundation::ProgressCallbacks* progress) {
    if (foundation::OperationStatus.load() == foundation::kStatusCancelled) return true;
    return image::WaitIfPaused(progress) == 0;
}

uint64_t DecodeThreadCount(uint32_t asked) {
    if (asked != 0) return asked;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

// The bytes of one resource, the chunk table aside, as its part file holds them.
class ChunkedResource {
public:
    ChunkedResource(const WimPart& part, const ResourceEntry& resource) : part_(part), resource_(resource) {}

    // Reads and checks the chunk table.
    ReadResult Open() {
        const uint64_t u = resource_.uncompressedBytes;
        chunkCount_ = u / kChunkBytes + (u % kChunkBytes != 0 ? 1 : 0);
        // Offsets need 8 bytes once the resource reaches 4 GiB.
        const uint64_t entryBytes = u > 0xFFFFFFFFull ? 8 : 4;
        const uint64_t entries = chunkCount_ - 1;
        if (entries > resource_.storedBytes / entryBytes) return ReadResult::kDamaged;
        const uint64_t tableBytes = entries * entryBytes;
        std::vector<uint8_t> table(static_cast<size_t>(tableBytes));
        if (tableBytes > 0 && !ReadAt(part_.file, table.data(), resource_.offset, table.size()))
            return ReadResult::kReadFailed;
        dataStart_ = resource_.offset + tableBytes;
        dataBytes_ = resource_.storedBytes - tableBytes;
        starts_.resize(static_cast<size_t>(chunkCount_ + 1));
        starts_[0] = 0;
        for (uint64_t i = 0; i < entries; ++i) {
            uint64_t v = 0;
            for (uint64_t b = 0; b < entryBytes; ++b) v |= uint64_t{table[size_t(i * entryBytes + b)]} << (8 * b);
            starts_[size_t(i + 1)] = v;
        }
        starts_[size_t(chunkCount_)] = dataBytes_;
        for (uint64_t i = 0; i < chunkCount_; ++i) {
            const uint64_t start = starts_[size_t(i)], end = starts_[size_t(i + 1)];
            // In order, inside the resource, never more than the chunk gives.
            if (end < start || end > dataBytes_ || end - start > ChunkSize(i)) return ReadResult::kDamaged;
        }
        return ReadResult::kOk;
    }

    uint64_t ChunkCount() const { return chunkCount_; }
    uint64_t ChunkSize(uint64_t i) const {
        return i + 1 < chunkCount_ ? kChunkBytes : resource_.uncompressedBytes - (chunkCount_ - 1) * kChunkBytes;
    }
    uint64_t Start(uint64_t i) const { return starts_[size_t(i)]; }
    uint64_t DataStart() const { return dataStart_; }

private:
    const WimPart& part_;
    const ResourceEntry& resource_;
    uint64_t chunkCount_ = 0;
    uint64_t dataStart_ = 0;
    uint64_t dataBytes_ = 0;
    std::vector<uint64_t> starts_;
};

// Decodes chunks [first, first + count) of the batch whose stored bytes begin
// at stored[0] (chunk `base` starts there). Every stride-th chunk from
// `offset` is this caller's.
bool DecodeChunks(const ChunkedResource& chunks, Compression kind, std::span<const uint8_t> stored,
                  std::span<uint8_t> out, uint64_t base, uint64_t count, uint64_t offset, uint64_t stride) {
    // Each thread keeps its decoders: every chunk is decoded afresh, and making
    // the tables again for every small file cost more than decoding it.
    thread_local std::unique_ptr<codecs::LzxDecoder> lzx;
    thread_local std::unique_ptr<codecs::XpressDecoder> xpress;
    for (uint64_t k = offset; k < count; k += stride) {
        const uint64_t i = base + k;
        const uint64_t from = chunks.Start(i) - chunks.Start(base);
        const uint64_t span = chunks.Start(i + 1) - chunks.Start(i);
        const uint64_t size = chunks.ChunkSize(i);
        auto in = stored.subspan(size_t(from), size_t(span));
        auto to = out.subspan(size_t(k * kChunkBytes), size_t(size));
        if (span == size) {
            std::copy(in.begin(), in.end(), to.begin());
            continue;
        }
        bool ok = false;
        if (kind == Compression::kLzx) {
            if (!lzx) lzx = std::make_unique<codecs::LzxDecoder>();
            ok = lzx->DecodeChunk(in, to);
        } else if (kind == Compression::kXpress) {
            if (!xpress) xpress = std::make_unique<codecs::XpressDecoder>();
            ok = xpress->DecodeChunk(in, to);
        }
        if (!ok) return false;
    }
    return true;
}

class Output {
public:
    Output(const ResourceSink& sink, const ResourceRead& how) : sink_(sink), how_(how) {}
    bool Put(std::span<const uint8_t> bytes) {
        if (how_.expectedHash) sha_.Update(bytes.data(), bytes.size());
        if (!sink_(bytes)) return false;
        if (how_.reportProgress && how_.progress && how_.progress->AddDone) how_.progress->AddDone(int64_t(bytes.size()));
        return true;
    }
    bool HashMatches() { return !how_.expectedHash || sha_.Finish() == *how_.expectedHash; }

private:
    const ResourceSink& sink_;
    const ResourceRead& how_;
    codecs::Sha1 sha_;
};

}  // namespace

ReadResult ReadResource(const WimPart& part, const ResourceEntry& resource, const ResourceSink& sink,
                        const ResourceRead& how) {
    // The stored bytes must lie inside the part file.
    if (resource.offset > part.fileBytes || resource.storedBytes > part.fileBytes - resource.offset)
        return ReadResult::kDamaged;
    Output output(sink, how);
    const bool compressed = (resource.flags & kResourceCompressed) != 0;

    if (!compressed || resource.uncompressedBytes == 0) {
        if (!compressed && resource.storedBytes != resource.uncompressedBytes) return ReadResult::kDamaged;
        const uint64_t total = compressed ? 0 : resource.storedBytes;
        std::vector<uint8_t> piece(static_cast<size_t>(std::min<uint64_t>(total, kCopyPieceBytes)));
        for (uint64_t done = 0; done < total;) {
            if (Cancelled(how.progress)) return ReadResult::kCancelled;
            const size_t n = static_cast<size_t>(std::min<uint64_t>(total - done, kCopyPieceBytes));
            if (!ReadAt(part.file, piece.data(), resource.offset + done, n)) return ReadResult::kReadFailed;
            if (!output.Put({piece.data(), n})) return ReadResult::kSinkFailed;
            done += n;
        }
        return output.HashMatches() ? ReadResult::kOk : ReadResult::kDamaged;
    }

    if (part.header.compression == Compression::kNone) return ReadResult::kDamaged;
    ChunkedResource chunks(part, resource);
    if (ReadResult r = chunks.Open(); r != ReadResult::kOk) return r;
    const uint64_t threads = DecodeThreadCount(how.decodeThreads);
    const Compression kind = part.header.compression;
    // Buffers of a whole batch, made once and never cleared: every byte is
    // read or decoded into before it is used.
    const uint64_t batchChunks = std::min<uint64_t>(kBatchChunks, chunks.ChunkCount());
    const size_t batchBytes = size_t(batchChunks * kChunkBytes);
    std::unique_ptr<uint8_t[]> storedBuffer(new uint8_t[batchBytes]);
    // With threads, batch k is decoded while the calling thread hashes and
    // hands on batch k - 1.
    std::unique_ptr<uint8_t[]> decodedBuffers[2] = {std::unique_ptr<uint8_t[]>(new uint8_t[batchBytes]),
                                                   threads > 1 ? std::unique_ptr<uint8_t[]>(new uint8_t[batchBytes])
                                                               : nullptr};
    std::span<uint8_t> decoded[2];
    int current = 0;
    bool pending = false;
    for (uint64_t first = 0; first < chunks.ChunkCount();) {
        if (Cancelled(how.progress)) return ReadResult::kCancelled;
        const uint64_t count = std::min<uint64_t>(kBatchChunks, chunks.ChunkCount() - first);
        const uint64_t storedFrom = chunks.Start(first);
        const uint64_t storedBytes = chunks.Start(first + count) - storedFrom;
        // Each chunk's span is at most its size, so the batch's fits.
        const std::span<const uint8_t> stored(storedBuffer.get(), size_t(storedBytes));
        if (storedBytes > 0 && !ReadAt(part.file, storedBuffer.get(), chunks.DataStart() + storedFrom, stored.size()))
            return ReadResult::kReadFailed;
        const uint64_t outBytes = (count - 1) * kChunkBytes + chunks.ChunkSize(first + count - 1);
        decoded[current] = std::span<uint8_t>(decodedBuffers[current].get(), size_t(outBytes));
        const std::span<uint8_t> out = decoded[current];

        const uint64_t workers = std::min<uint64_t>(threads, std::max<uint64_t>(1, count / kChunksPerThread));
        if (threads <= 1) {
            if (!DecodeChunks(chunks, kind, stored, out, first, count, 0, 1)) return ReadResult::kDamaged;
            if (!output.Put(out)) return ReadResult::kSinkFailed;
        } else {
            std::vector<char> results(size_t(workers), 0);
            std::latch done{static_cast<std::ptrdiff_t>(workers)};
            for (uint64_t w = 0; w < workers; ++w)
                DecodePool::Shared().Submit([&, w] {
                    results[size_t(w)] = DecodeChunks(chunks, kind, stored, out, first, count, w, workers) ? 1 : 0;
                    done.count_down();
                });
            const bool handedOn = !pending || output.Put(decoded[1 - current]);
            done.wait();
            if (!handedOn) return ReadResult::kSinkFailed;
            if (!std::all_of(results.begin(), results.end(), [](char r) { return r != 0; })) return ReadResult::kDamaged;
            pending = true;
            current = 1 - current;
        }
        first += count;
    }
    if (pending && !output.Put(decoded[1 - current])) return ReadResult::kSinkFailed;
    return output.HashMatches() ? ReadResult::kOk : ReadResult::kDamaged;
}

ReadResult ReadResourceToMemory(const WimPart& part, const ResourceEntry& resource, uint64_t limitBytes,
                                std::vector<uint8_t>& out, const codecs::Sha1Digest* expectedHash) {
    out.clear();
    if (resource.uncompressedBytes > limitBytes) return ReadResult::kDamaged;
    // A stored resource cannot hold more than the file; a compressed one is
    // capped by the limit alone.
    if (!(resource.flags & kResourceCompressed) && resource.uncompressedBytes > part.fileBytes) return ReadResult::kDamaged;
    try {
        out.reserve(static_cast<size_t>(resource.uncompressedBytes));
    } catch (const std::bad_alloc&) {
        return ReadResult::kSinkFailed;
    }
    ResourceRead how;
    how.expectedHash = expectedHash;
    return ReadResource(part, resource, [&](std::span<const uint8_t> bytes) {
        out.insert(out.end(), bytes.begin(), bytes.end());
        return true;
    }, how);
}

}  // namespace filesystems::wim
