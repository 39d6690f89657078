#include "image/iso/append_session.h"

#include <algorithm>
#include <cstring>

#include "foundation/language.h"
#include "image/document/image_context.h"
#include "foundation/optical_services.h"

namespace image {
namespace {

constexpr size_t kSectorBytes = 2048;
constexpr size_t kHalfBytes = kDiscHeadMirrorBytes / 2;
constexpr uint16_t kReadSectorsPerCall = 16;
constexpr uint32_t kStringOutOfMemory = 30810;
constexpr uint32_t kStringErrorReadingDisc = 32670;
constexpr uint32_t kStringSectorOffset = 32680;
constexpr uint32_t kStringErrorWriting = 32460;
constexpr int kWriteErrorCode = 301;

bool MirrorLoaded(const ImageContext& ctx) {
    return !ctx.discHeadSourcePath.empty() && ctx.discHeadCount > 0 &&
           ctx.discHeadBuffer.size() == kDiscHeadMirrorBytes;
}

bool WriteAll(platform::FileHandle file, uint64_t offset, const uint8_t* data, size_t bytes) {
    while (bytes > 0) {
        int64_t n = platform::FileWriteAt(file, offset, data, bytes);
        if (n <= 0) return false;
        offset += uint64_t(n);
        data += n;
        bytes -= size_t(n);
    }
    return true;
}

}  // namespace

uint64_t ReserveSessionHead(int32_t sessionStart, uint64_t next) {
    return std::max<uint64_t>(next, uint64_t(sessionStart) + kSessionHeadSectors);
}

int LoadDiscHeadMirror(ImageContext& ctx, HeadTarget target, platform::FileHandle drive) {
    ctx.discHeadBuffer.clear();
    ctx.discHeadBuffer.shrink_to_fit();
    ctx.discHeadCount = 0;
    if (ctx.discHeadSourcePath.empty()) return 1;
    try {
        ctx.discHeadBuffer.assign(kDiscHeadMirrorBytes, 0);
    } catch (const std::bad_alloc&) {
        foundation::BurnLog(true, u"%s", foundation::GetLangString(kStringOutOfMemory, u"Out of memory. Program abort."));
        return 0;
    }
    uint8_t* current = ctx.discHeadBuffer.data() + kHalfBytes;
    if (target == HeadTarget::Drive) {
        for (uint32_t first = 0; first < uint32_t(kSessionHeadSectors); first += kReadSectorsPerCall) {
            const uint32_t bytes = uint32_t(kReadSectorsPerCall * kSectorBytes);
            uint32_t transferred = 0;
            if (!foundation::ScsiRead10(drive, first, kReadSectorsPerCall, current + size_t(first) * kSectorBytes, bytes,
                                     &transferred) ||
                transferred != bytes) {
                foundation::BurnLog(true, u"%s(%s%d-%d)",
                                 foundation::GetLangString(kStringErrorReadingDisc, u"Error reading data on disc."),
                                 foundation::GetLangString(kStringSectorOffset, u"sector offset: "), int(first),
                                 int(first + kReadSectorsPerCall - 1));
                ctx.discHeadBuffer.clear();
                return 0;
            }
        }
    }
    std::memcpy(ctx.discHeadBuffer.data(), current, kHalfBytes);
    if (!ctx.preloadedHead.empty()) {
        const size_t have = std::min<size_t>({ctx.preloadedHead.size(), kHalfBytes,
                                              size_t(std::max(ctx.preloadedHeadSectors, 0)) * kSectorBytes});
        std::memcpy(ctx.discHeadBuffer.data(), ctx.preloadedHead.data(), have);
    }
    ctx.discHeadCount = kSessionHeadSectors;
    return 1;
}

int CaptureSessionHead(ImageContext& ctx, int32_t descriptorAreaSectors, const uint8_t* data, int64_t first,
                       int64_t count) {
    const int64_t s = ctx.sessionStartLba;
    if (!MirrorLoaded(ctx) || s <= 0 || data == nullptr || count <= 0 || descriptorAreaSectors <= 0) return 1;
    // The area is copied into a half of 320 sectors; a larger one cannot be.
    if (descriptorAreaSectors > kSessionHeadSectors) return 0;
    const int64_t from = std::max(first, s);
    const int64_t to = std::min(first + count, s + descriptorAreaSectors);
    if (from >= to) return 1;
    std::memcpy(ctx.discHeadBuffer.data() + size_t(from - s) * kSectorBytes,
                data + size_t(from - first) * kSectorBytes, size_t(to - from) * kSectorBytes);
    return 1;
}

int WriteDiscHeadMirror(ImageContext& ctx, HeadTarget target, platform::FileHandle output, int32_t sectorsPerWrite,
                        int32_t descriptorAreaSectors) {
    if (!MirrorLoaded(ctx)) return 1;
    const uint8_t* fresh = ctx.discHeadBuffer.data();
    const uint8_t* current = fresh + kHalfBytes;
    if (target == HeadTarget::ImageFile) {
        int32_t sectors = ctx.preloadedHead.empty() ? descriptorAreaSectors : kSessionHeadSectors;
        sectors = std::clamp(sectors, 0, kSessionHeadSectors);
        if (!WriteAll(output, 0, fresh, size_t(sectors) * kSectorBytes)) {
            foundation::BurnLog(true, u"%s (%d-%08x)", foundation::GetLangString(kStringErrorWriting, u"Error writing data."),
                             kWriteErrorCode, 0);
            return 0;
        }
        return 1;
    }
    const int32_t n = std::clamp(sectorsPerWrite, 1, kSessionHeadSectors);
    int32_t end = 0;   // sectors to write: up to the end of the last differing block
    for (int32_t blockStart = ((kSessionHeadSectors - 1) / n) * n; blockStart >= 0; blockStart -= n) {
        const int32_t blockEnd = std::min(blockStart + n, kSessionHeadSectors);
        const size_t at = size_t(blockStart) * kSectorBytes;
        if (std::memcmp(fresh + at, current + at, size_t(blockEnd - blockStart) * kSectorBytes) != 0) {
            end = blockEnd;
            break;
        }
    }
    for (int32_t sector = 0; sector < end; sector += n) {
        const int32_t count = std::min(n, end - sector);
        if (!foundation::ScsiWrite10(output, uint32_t(sector), fresh + size_t(sector) * kSectorBytes,
                                  uint32_t(count) * uint32_t(kSectorBytes), uint32_t(kSectorBytes))) {
            foundation::BurnLog(true, u"%s (%d-%08x)", foundation::GetLangString(kStringErrorWriting, u"Error writing data."),
                             kWriteErrorCode, sector);
            // Part of the head may already be the new one: the disc's file
            // system may now be unreadable.
            if (sector > 0) foundation::BurnLog(true, u"%s", std::u16string(u"The disc may be unreadable."));
            return 0;
        }
    }
    return 1;
}

}  // namespace image
