#include "image/sectors/sector_writers.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <cstring>
#include <new>
#include <vector>

#include "image/sectors/writer_switches.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/strings.h"
#include "image/sectors/container_services.h"
#include "image/document/image_context.h"
#include "image/sectors/raw_sectors.h"
#include "image/sectors/sector_io.h"
#include "platform/file.h"

namespace image {
namespace {

constexpr size_t kSector = kUserDataSize;
constexpr uint32_t kDaaFormat110 = 0x110;
constexpr size_t kHeaderlessSkip = 14;          // a type-0 chunk may be stored without its 14-byte header
constexpr size_t kCollectionSlack = 0x49800;    // room the compressors may need past the chunk
constexpr uint32_t kMaxChunkSectors = 1u << 16; // a sane cap before the buffers are sized
constexpr uint32_t kMaxCompressionThreads = 16;  // bounds the batch buffers (two per chunk)
constexpr size_t kBatchBytesPerThread = 1u << 20;

bool OverLimit(const ImageContext& ctx) {
    return ctx.outputSizeLimit != 0 && uint64_t(ctx.bytesWritten) > kOutputSizeLimitBytes;
}

void FailedWritingArchive() {
    foundation::SetLastErrorText(foundation::LangString(foundation::kStrFailedWritingArchive));
}

bool WriteExact(platform::FileHandle file, uint64_t offset, const uint8_t* data, size_t size) {
    return file != nullptr && platform::FileWriteAt(file, offset, data, size) == int64_t(size);
}

// Starts the byte count of a save at its first sector and adds this write.
void CountBytes(ImageContext& ctx, int32_t first, int64_t bytes) {
    if (first == 0) ctx.bytesWritten = 0;
    ctx.bytesWritten += bytes;
}

std::atomic<uint32_t> g_compressionThreads{0};

uint32_t CompressionThreads() {
    const uint32_t chosen = g_compressionThreads.load();
    if (chosen != 0) return chosen;
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxCompressionThreads);
}

// Compresses chunks [0, n) of a batch: chunk j's sectors at input + j x
// chunkBytes, its output at output + j x room. Chunks are independent, so a
// family that allows it has them compressed on several threads; the caller
// writes them in order, so the file does not depend on the thread count.
void CompressBatch(IContainerWriterFamily& family, ImageContext& ctx, uint32_t firstChunk, size_t n,
                   const uint8_t* input, size_t chunkBytes, size_t lastBytes, uint8_t* output, size_t room,
                   std::vector<int64_t>& stored, std::vector<uint32_t>& types) {
    stored.assign(n, -1);
    types.assign(n, 0);
    auto work = [&](size_t from, size_t step) {
        for (size_t j = from; j < n; j += step) {
            const size_t length = j + 1 == n ? lastBytes : chunkBytes;
            stored[j] = family.CompressChunk(ctx, firstChunk + uint32_t(j), input + j * chunkBytes, length,
                                             output + j * room, types[j]);
        }
    };
    const size_t threads = family.ConcurrentChunks(ctx) ? std::min<size_t>(CompressionThreads(), n) : 1;
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(work, t, threads);
        } catch (const std::system_error&) {
            // No thread to be had: this one does that share as well.
            work(t, threads);
        }
    }
    work(0, threads);
    for (std::thread& helper : helpers) helper.join();
}

// The chunked container family (DAA/HXI, MZP, XDI): sectors are collected into
// whole chunks, compressed a batch of chunks at a time and written in order,
// the last (shorter) chunk when the image's last sector arrives.
int32_t WriteContainerSectors(ContainerKind kind, ImageContext& ctx, int32_t first, const uint8_t* buffer,
                              int32_t count, const WriterArguments& args) {
    IContainerWriterFamily* family = ContainerServices().ContainerWriter(kind);
    if (family == nullptr || first < 0) {
        FailedWritingArchive();
        return 0;
    }
    if (first == 0) {
        if (!family->Create(ctx)) {
            FailedWritingArchive();
            return 0;
        }
        ctx.bytesWritten = 0;
        if (!family->Begin(ctx, args)) {
            family->Free(ctx);
            return 0;
        }
        ctx.collectedSectors = 0;
    } else if (!family->Attached(ctx)) {
        return 0;
    }

    const uint32_t chunkSectors = family->ChunkSectors(ctx);
    if (chunkSectors == 0 || chunkSectors > kMaxChunkSectors) return 0;
    const size_t chunkBytes = size_t(chunkSectors) * kSector;
    const size_t room = size_t(chunkSectors) * 4096 + kCollectionSlack;
    // A batch holds a few chunks per thread, so small chunks do not cost a
    // thread start each.
    const size_t perThread = std::max<size_t>(1, kBatchBytesPerThread / chunkBytes);
    const size_t batchChunks = family->ConcurrentChunks(ctx) ? CompressionThreads() * perThread : 1;
    const uint64_t batchSectors = uint64_t(batchChunks) * chunkSectors;
    try {
        if (ctx.collectionBuffer.size() < batchChunks * chunkBytes + kCollectionSlack)
            ctx.collectionBuffer.assign(batchChunks * chunkBytes + kCollectionSlack, 0);
        if (ctx.outputBuffer.size() < batchChunks * room) ctx.outputBuffer.assign(batchChunks * room, 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const uint32_t format = family->ContainerFormat(ctx);
    const bool headerlessAllowed = image::WriterSwitchH.load() &&
                                   (kind == ContainerKind::Mzp || (kind == ContainerKind::Daa && format == kDaaFormat110));
    std::vector<int64_t> stored;
    std::vector<uint32_t> types;

    for (int32_t i = 0; i < count; ++i) {
        const int64_t sector = int64_t(first) + i;
        if (ctx.collectedSectors < 0 || uint64_t(ctx.collectedSectors) >= batchSectors) return 0;
        std::memcpy(ctx.collectionBuffer.data() + size_t(ctx.collectedSectors) * kSector,
                    buffer + size_t(i) * kSector, kSector);
        ++ctx.collectedSectors;
        // A build gives the output's size; a copy of an image has its source's.
        const bool last = sector + 1 == int64_t(ctx.sectorCount > 0 ? ctx.sectorCount : ctx.endSector);
        if (uint64_t(ctx.collectedSectors) < batchSectors && !last) continue;

        const size_t collected = size_t(ctx.collectedSectors);
        ctx.collectedSectors = 0;
        const uint32_t firstChunk = uint32_t((sector + 1 - int64_t(collected)) / chunkSectors);
        const size_t n = (collected + chunkSectors - 1) / chunkSectors;
        const size_t lastBytes = collected * kSector - (n - 1) * chunkBytes;
        CompressBatch(*family, ctx, firstChunk, n, ctx.collectionBuffer.data(), chunkBytes, lastBytes,
                      ctx.outputBuffer.data(), room, stored, types);
        for (size_t j = 0; j < n; ++j) {
            const uint32_t chunk = firstChunk + uint32_t(j);
            if (stored[j] < 0 || uint64_t(stored[j]) > room) {
                FailedWritingArchive();
                return 0;
            }
            const uint8_t* out = ctx.outputBuffer.data() + j * room;
            const size_t skip =
                headerlessAllowed && types[j] == 0 && size_t(stored[j]) >= kHeaderlessSkip ? kHeaderlessSkip : 0;
            const size_t length = size_t(stored[j]) - skip;
            if (!family->WriteData(ctx, out + skip, length)) return 0;
            if (OverLimit(ctx)) return 0;
            family->SetChunkSize(ctx, chunk, uint32_t(length));
            if (kind != ContainerKind::Daa || format == kDaaFormat110) family->SetChunkType(ctx, chunk, types[j]);
        }

        if (!last) continue;
        if (kind != ContainerKind::Xdi && image::WriterSwitchE.load()) {
            if (std::vector<uint8_t>* block = family->TrailingBlock(ctx); block != nullptr) {
                std::vector<uint8_t> packed;
                const std::vector<uint8_t>* toWrite = block;
                if (image::WriterSwitchC.load()) {
                    packed.resize(block->size() * 2 + 65536);
                    const size_t n = ContainerServices().DeflateCompressBlock(block->data(), block->size(),
                                                                                packed.data(), packed.size());
                    if (n == 0 || n > packed.size()) return 0;
                    packed.resize(n);
                    if (kind == ContainerKind::Daa && family->ScrambleTrailingBlock(ctx)) {
                        const uint8_t notLength = uint8_t(~uint32_t(n));
                        for (size_t b = 0; b < n; ++b) packed[b] = uint8_t((packed[b] ^ notLength) + 7 * b);
                    }
                    toWrite = &packed;
                }
                if (!family->WriteData(ctx, toWrite->data(), toWrite->size())) return 0;
                family->SetTrailingStoredLength(ctx, uint32_t(toWrite->size()));
            }
        }
        family->ClearPending(ctx);
        if (family->Finish(ctx) == -1) return 0;
    }
    return count;
}

}  // namespace

void SetChunkCompressionThreads(uint32_t count) { g_compressionThreads = std::min(count, kMaxCompressionThreads); }

int32_t WriteImageSectors(ImageContext& ctx, int32_t first, const uint8_t* buffer, int32_t count,
                          const WriterArguments& args) {
    int32_t result = 0;
    if (buffer != nullptr && count > 0) {
        if (const ImageFormatRow* row = GetImageFormatRow(ctx.outputFormat); row != nullptr && row->writer != nullptr) {
            result = row->writer(ctx, first, buffer, count, args);
        } else if (ctx.outputFormat == format_code::kAudioCd) {
            result = WriteAudioCdSectors(ctx, first, buffer, count, args);
        }
    }
    if (OverLimit(ctx)) {
        foundation::OperationStatus = foundation::kStatusWriteFailed;
        return result;
    }
    if (result != count) {
        const std::u16string& path = !ctx.writingPath.empty() ? ctx.writingPath : ctx.documentPath;
        foundation::ShowLastError(path.empty() ? std::nullopt : std::optional<std::u16string_view>(path));
        foundation::OperationStatus = foundation::kStatusWriteFailed;
    }
    return result;
}

int32_t WriteIsoSectors(ImageContext& ctx, int32_t first, const uint8_t* buffer, int32_t count,
                        const WriterArguments&) {
    if (count <= 0 || first < 0) return 0;
    const size_t bytes = size_t(count) * kSector;
    if (ctx.composeOutput != 0)
        return ComposedImageServices().AppendComposedSectors(ctx, buffer, bytes) ? count : 0;
    CountBytes(ctx, first, int64_t(bytes));
    if (OverLimit(ctx)) return 0;
    return WriteExact(ctx.outputHandle.get(), uint64_t(first) * kSector, buffer, bytes) ? count : 0;
}

int32_t WriteBinSectors(ImageContext& ctx, int32_t first, const uint8_t* buffer, int32_t count,
                        const WriterArguments&) {
    if (count <= 0 || first < 0) return 0;
    if (ctx.composeOutput == 0) {
        CountBytes(ctx, first, int64_t(count) * int64_t(kRawSectorSize));
        if (OverLimit(ctx)) return 0;
    }
    uint8_t* work = ThreadRawWorkBuffer();
    if (work == nullptr) return 0;
    const bool videoCd = ctx.videoCdKind != 0;
    for (int32_t done = 0; done < count;) {
        const int32_t piece = std::min<int32_t>(kRawPieceSectors, count - done);
        for (int32_t i = 0; i < piece; ++i) {
            // Each frame carries the address of its place in the image, so a save
            // written in order numbers its frames 0, 1, 2 ...
            const int32_t frame = int32_t(int64_t(first) + done + i);
            const uint8_t* data = buffer + size_t(done + i) * kSector;
            uint8_t* out = work + size_t(i) * kRawSectorSize;
            if (videoCd) {
                MakeMode2Form1Sector(frame, data, out);
            } else {
                MakeMode1Sector(frame, data, out);
            }
        }
        const size_t bytes = size_t(piece) * kRawSectorSize;
        const bool ok = ctx.composeOutput != 0
                            ? ComposedImageServices().AppendComposedSectors(ctx, work, bytes)
                            : WriteExact(ctx.outputHandle.get(), (uint64_t(first) + uint64_t(done)) * kRawSectorSize, work, bytes);
        if (!ok) return 0;
        done += piece;
    }
    return count;
}

int32_t WriteAudioCdSectors(ImageContext& ctx, int32_t, const uint8_t* buffer, int32_t count,
                            const WriterArguments&) {
    if (count <= 0) return 0;
    return WriteExact(ctx.outputHandle.get(), platform::kCurrentPosition, buffer, size_t(count) * kRawSectorSize)
               ? count
               : 0;
}

int32_t WriteDaaSectors(ImageContext& ctx, int32_t first, const uint8_t* buffer, int32_t count,
                        const WriterArguments& args) {
    return WriteContainerSectors(ContainerKind::Daa, ctx, first, buffer, count, args);
}
int32_t WriteMzpSectors(ImageContext& ctx, int32_t first, const uint8_t* buffer, int32_t count,
                        const WriterArguments& args) {
    return WriteContainerSectors(ContainerKind::Mzp, ctx, first, buffer, count, args);
}
int32_t WriteXdiSectors(ImageContext& ctx, int32_t first, const uint8_t* buffer, int32_t count,
                        const WriterArguments& args) {
    return WriteContainerSectors(ContainerKind::Xdi, ctx, first, buffer, count, args);
}

}  // namespace image
