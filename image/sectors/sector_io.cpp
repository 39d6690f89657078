#include "image/sectors/sector_io.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/strings.h"
#include "image/sectors/container_services.h"
#include "image/sectors/format_table.h"
#include "image/document/image_context.h"
#include "image/sectors/raw_sectors.h"
#include "image/sheets/track_list.h"
#include "foundation/optical_services.h"
#include "platform/file.h"

namespace image {
namespace {

constexpr size_t kSector = kUserDataSize;
constexpr uint32_t kStrErrorReadingImageData = 32750;
constexpr uint32_t kStrErrorReadingArchive = 30830;

struct BurnReadState {
    std::atomic<bool> inProgress{false};
    std::atomic<bool> ignoreReadErrors{false};
    std::atomic<bool> reported{false};   // "Error reading image data." written for this burn
};

BurnReadState& Burn() {
    static BurnReadState state;
    return state;
}

std::u16string TextOr(uint32_t id, std::u16string_view fallback) {
    std::u16string text = foundation::LangString(id);
    return text.empty() ? std::u16string(fallback) : text;
}

// Reads `size` bytes that start at a possibly negative file offset: the bytes
// before the start of the file are zeros. Returns how many of the bytes are
// in the buffer (fewer at the end of the file), -1 on a read error.
int64_t ReadFromSignedOffset(platform::FileHandle file, int64_t offset, uint8_t* buffer, size_t size) {
    size_t zeros = 0;
    if (offset < 0) {
        const uint64_t before = uint64_t(-offset);
        zeros = before >= size ? size : size_t(before);
        std::memset(buffer, 0, zeros);
        buffer += zeros;
        size -= zeros;
        offset = 0;
    }
    if (size == 0) return int64_t(zeros);
    if (file == nullptr) return -1;
    const int64_t read = platform::FileReadAt(file, uint64_t(offset), buffer, size);
    return read < 0 ? -1 : int64_t(zeros) + read;
}

// Geometry of a raw-layout document: the row's for rows, the raw scan's (kept in
// the document by the probe) for codes 1000-1007.
struct RawGeometry {
    int64_t sectorSize;
    int64_t userDataOffset;
    int64_t dataOffset;
};

bool GetRawGeometry(const ImageContext& ctx, RawGeometry& g) {
    if (const ImageFormatRow* row = GetImageFormatRow(ctx.formatCode); row != nullptr) {
        g = {row->sectorSize, row->userDataOffset, row->dataOffset};
    } else if (IsRawScanFormat(ctx.formatCode)) {
        g = {ctx.sectorSize, ctx.userDataOffset, ctx.dataOffset};
    } else {
        return false;
    }
    // The user data must lie inside a stored sector, and 64 stored sectors must
    // fit the thread's raw work buffer.
    return g.sectorSize >= int64_t(kSector) && g.userDataOffset >= 0 &&
           g.userDataOffset <= g.sectorSize - int64_t(kSector) &&
           g.sectorSize <= int64_t(kRawWorkSectorBytes);
}

int32_t ReadContainerSectors(ContainerKind kind, ImageContext& ctx, int32_t first, uint8_t* buffer,
                             int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const int64_t sector = int64_t(first) + i;
        if (sector < 0 ||
            ContainerServices().CopyContainerSector(kind, ctx, uint32_t(sector), buffer + size_t(i) * kSector) != 0) {
            foundation::SetLastErrorText(TextOr(kStrErrorReadingArchive, u"Error reading archive. "));
            foundation::OperationStatus = foundation::kStatusImageReadError;
            return i;
        }
    }
    return count;
}

}  // namespace

foundation::SectorReadRequest DiscReadRequest(ImageContext& ctx, TrackList* list, uint8_t* buffer, uint32_t lba,
                                              uint32_t count, bool raw) {
    foundation::SectorReadRequest request;
    request.image = &ctx;
    request.trackList = list;
    request.device = ctx.sourceDriveHandle != nullptr ? ctx.sourceDriveHandle : ctx.imageHandle.get();
    request.buffer = buffer;
    request.lba = lba;
    request.count = count;
    request.raw = raw;
    request.mayPrompt = true;
    request.title = ctx.imagePath;
    return request;
}

// The raw pieces are staged in a buffer of the calling thread: a burn's
// read-ahead and a view reading the same document never share one.
uint8_t* ThreadRawWorkBuffer() {
    thread_local std::vector<uint8_t> buffer;
    if (buffer.empty()) {
        try {
            buffer.resize(kRawWorkBufferBytes);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return buffer.data();
}

void SetBurnReadPolicy(bool burnInProgress, bool ignoreReadErrors) {
    BurnReadState& b = Burn();
    b.ignoreReadErrors = ignoreReadErrors;
    if (burnInProgress && !b.inProgress.load()) b.reported = false;
    b.inProgress = burnInProgress;
}

int32_t ReadImageSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count, ImageSource source) {
    if (buffer == nullptr || count <= 0) return 0;
    const int64_t end = ctx.endSectorOverride != 0 ? ctx.endSectorOverride : ctx.endSector;
    const bool pastEnd = end != 0 && int64_t(first) + count > end;
    if (pastEnd) std::memset(buffer, 0, size_t(count) * kSector);

    int32_t result = 0;
    if (ctx.composedRead && source == ImageSource::Document) {
        result = ComposedImageServices().ReadComposedSectors(ctx, first, buffer, count);
    } else if (const ImageFormatRow* row = GetImageFormatRow(ctx.formatCode); row != nullptr) {
        result = row->reader(ctx, first, buffer, count);
    } else if (IsRawScanFormat(ctx.formatCode)) {
        result = ReadRawLayoutSectors(ctx, first, buffer, count);
    }
    result = std::clamp(result, 0, count);

    BurnReadState& burn = Burn();
    if (burn.inProgress.load() && result < count) {
        // A burn must not turn a source read error into silently burned zeros:
        // the error is logged once and the burn goes on only when the user chose
        // to ignore read errors.
        if (!burn.reported.exchange(true))
            foundation::BurnLog(true, u"%s", TextOr(kStrErrorReadingImageData, u"Error reading image data."));
        if (burn.ignoreReadErrors.load()) {
            std::memset(buffer + size_t(result) * kSector, 0, size_t(count - result) * kSector);
            foundation::ResetOperationStatus();
            return count;
        }
        foundation::OperationStatus = foundation::kStatusSourceReadFailed;
        return result;
    }

    if (result == count || ctx.quietReads) return result;

    if (pastEnd) {
        if (ctx.endOfFileAnswered ||
            foundation::AppMessageBox(foundation::LangString(foundation::kStrUnexpectedEnd),
                                      foundation::kMbOkCancel) == foundation::kIdOk) {
            foundation::ResetOperationStatus();
            ctx.endOfFileAnswered = true;
            return count;
        }
        foundation::OperationStatus = foundation::kStatusImageReadError;
        ctx.endOfFileAnswered = true;
        return result;
    }
    if (ctx.discSource) {
        foundation::OperationStatus = foundation::kStatusCancelled;   // the drive read has asked already
        return result;
    }
    const std::optional<std::u16string> current = foundation::GetCurrentFileName();
    foundation::ShowLastError(current ? std::u16string_view(*current) : std::u16string_view(ctx.imagePath));
    foundation::OperationStatus = foundation::kStatusImageReadError;
    return result;
}

std::optional<int64_t> PlainSectorFileOffset(const ImageContext& ctx, int64_t first, int64_t count) {
    const ImageFormatRow* row = GetImageFormatRow(ctx.formatCode);
    if (row == nullptr || row->reader != ReadPlainSectors || ctx.composedRead || ctx.discSource ||
        !ctx.imageHandle || first < 0 || count < 0)
        return std::nullopt;
    if (!ctx.preloadedHead.empty() && first < ctx.preloadedHeadSectors) return std::nullopt;
    const int64_t end = ctx.endSectorOverride != 0 ? ctx.endSectorOverride : ctx.endSector;
    if (end <= 0 || first > end || count > end - first) return std::nullopt;
    const int64_t offset = first * int64_t(kSector) + ctx.dataOffset;
    if (offset < 0 || (first + count) * int64_t(kSector) + ctx.dataOffset > ctx.imageSize) return std::nullopt;
    return offset;
}

int32_t ReadPlainSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) {
    if (count <= 0) return 0;
    int32_t done = 0;
    if (!ctx.preloadedHead.empty() && first >= 0 && first < ctx.preloadedHeadSectors) {
        const int64_t available = std::min<int64_t>(ctx.preloadedHeadSectors, int64_t(ctx.preloadedHead.size() / kSector));
        if (first < available) {
            done = int32_t(std::min<int64_t>(count, available - first));
            std::memcpy(buffer, ctx.preloadedHead.data() + size_t(first) * kSector, size_t(done) * kSector);
            if (done == count) return count;
        }
    }
    const int64_t from = int64_t(first) + done;
    const int32_t left = count - done;
    uint8_t* out = buffer + size_t(done) * kSector;

    if (!ctx.discSource || ctx.virtualDrive) {
        const int64_t offset = from * int64_t(kSector) + ctx.dataOffset;
        const size_t bytes = size_t(left) * kSector;
        if (ReadFromSignedOffset(ctx.imageHandle.get(), offset, out, bytes) != int64_t(bytes)) return 0;
        return count;
    }
    const foundation::SectorReadRequest request =
        DiscReadRequest(ctx, ctx.trackList, out, uint32_t(from), uint32_t(left), false);
    if (from < 0 || from + left > int64_t(UINT32_MAX) || foundation::ReadSectorsWithRetry(request, nullptr) != 1) return 0;
    return count;
}

int32_t ReadRawLayoutSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) {
    RawGeometry g{};
    if (count <= 0 || !GetRawGeometry(ctx, g)) return 0;
    const bool rawScan = IsRawScanFormat(ctx.formatCode);
    uint8_t* work = ThreadRawWorkBuffer();
    if (work == nullptr) return 0;
    int32_t done = 0;
    while (done < count) {
        const int32_t piece = std::min<int32_t>(kRawPieceSectors, count - done);
        const int64_t sector = int64_t(first) + done;
        const int64_t offset = sector * g.sectorSize + g.dataOffset;
        const size_t bytes = size_t(piece) * size_t(g.sectorSize);
        const int64_t got = ReadFromSignedOffset(ctx.imageHandle.get(), offset, work, bytes);
        if (got != int64_t(bytes)) {
            // A raw-scan image may end with its last sector cut to its user data.
            const size_t shortened = bytes - size_t(g.sectorSize) + kSector;
            const bool cutLastSector =
                rawScan && got >= 0 && ReadFromSignedOffset(ctx.imageHandle.get(), offset, work, shortened) == int64_t(shortened);
            if (!cutLastSector) {
                // The stored sectors that were read whole still reach the caller
                // (an image cut short keeps what it has); the result is short.
                const int32_t whole = got > 0 ? int32_t(std::min<int64_t>(piece, got / g.sectorSize)) : 0;
                CopyUserData(work, buffer + size_t(done) * kSector, size_t(whole), size_t(g.sectorSize),
                             size_t(g.userDataOffset));
                return done + whole;
            }
            std::memset(work + shortened, 0, bytes - shortened);
        }
        CopyUserData(work, buffer + size_t(done) * kSector, size_t(piece), size_t(g.sectorSize),
                     size_t(g.userDataOffset));
        done += piece;
    }
    return count;
}

int32_t ReadDaaSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) {
    return ReadContainerSectors(ContainerKind::Daa, ctx, first, buffer, count);
}
int32_t ReadMzpSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) {
    return ReadContainerSectors(ContainerKind::Mzp, ctx, first, buffer, count);
}
int32_t ReadXdiSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) {
    return ReadContainerSectors(ContainerKind::Xdi, ctx, first, buffer, count);
}

}  // namespace image
