#include "image/build/composed_image.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/file_io.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/sectors/raw_sectors.h"
#include "image/sectors/sector_io.h"
#include "platform/text.h"

namespace image {
namespace {

constexpr uint32_t kSectorBytes = 2048;
constexpr uint32_t kRawSectorBytes = 2352;
constexpr size_t kBlobStep = 1 << 20;
constexpr size_t kMapStep = 65536;
constexpr uint32_t kUsedMask = 0x00FFFFFF;

uint64_t Entry(uint32_t kind, uint32_t flags, uint32_t value) {
    return (uint64_t((kind << 28) | flags) << 32) | value;
}
uint32_t KindOf(uint64_t e) { return uint32_t(e >> 60); }
uint32_t ValueOf(uint64_t e) { return uint32_t(e); }
uint32_t UsedOf(uint64_t e) { return uint32_t(e >> 32) & kUsedMask; }

ComposedImage* Composed(ImageContext& ctx) { return ctx.composedImage.get(); }

bool OutOfMemory() {
    foundation::OperationStatus = foundation::kStatusOutOfMemory;
    return false;
}

// Grows by at least a step, as the burn of a large image appends often.
template <typename V>
bool Reserve(V& v, size_t more, size_t step) {
    try {
        if (v.capacity() - v.size() < more) v.reserve(v.size() + std::max(more, step));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool AddBlob(ComposedImage& c, const void* data, size_t size, uint32_t& offset) {
    if (c.blob.size() + size > UINT32_MAX || !Reserve(c.blob, size, kBlobStep)) return false;
    offset = uint32_t(c.blob.size());
    const uint8_t* p = static_cast<const uint8_t*>(data);
    c.blob.insert(c.blob.end(), p, p + size);
    return true;
}

bool AddEntry(ComposedImage& c, uint64_t entry) {
    if (!Reserve(c.map, 1, kMapStep)) return false;
    c.map.push_back(entry);
    return true;
}

// The path of the kind-2 entry that a file sector belongs to, and the sector's
// byte offset in that file.
bool FindFileStart(ComposedImage& c, size_t index, std::u16string& path, uint64_t& offset) {
    if (c.lastFileFirst != SIZE_MAX && index >= c.lastFileFirst && index < c.lastFileEnd) {
        path = c.lastFilePath;
        offset = uint64_t(index - c.lastFileFirst) * kSectorBytes;
        return true;
    }
    size_t start = index;
    while (KindOf(c.map[start]) == composed_kind::kFileNext) {
        if (start == 0) return false;
        --start;
    }
    if (KindOf(c.map[start]) != composed_kind::kFileFirst) return false;
    uint32_t at = ValueOf(c.map[start]) + 4;   // after the zero word
    if (at > c.blob.size()) return false;
    uint32_t chars = 0;
    while (at + 2 * (chars + 1) <= c.blob.size() &&
           (c.blob[at + 2 * chars] != 0 || c.blob[at + 2 * chars + 1] != 0))
        ++chars;
    path.resize(chars);
    std::memcpy(path.data(), c.blob.data() + at, size_t(chars) * 2);
    offset = uint64_t(index - start) * kSectorBytes;
    size_t end = start + 1;
    while (end < c.map.size() && KindOf(c.map[end]) == composed_kind::kFileNext) ++end;
    c.lastFileFirst = start;
    c.lastFileEnd = end;
    c.lastFilePath = path;
    return true;
}

}  // namespace

ComposedImage* NewComposedImage(ImageContext& ctx) {
    ComposedImage* c = new (std::nothrow) ComposedImage;
    if (!c) return nullptr;
    c->document = &ctx;
    c->sessionStart = ctx.sessionStartLba;
    ctx.composedImage.Attach(c, FreeComposedImage);
    return c;
}

void FreeComposedImage(ComposedImage* image) { delete image; }

bool AppendComposedLiteral(ImageContext& ctx, const uint8_t* sectors2048, size_t count) {
    ComposedImage* c = Composed(ctx);
    if (!c) return false;
    for (size_t i = 0; i < count; ++i) {
        uint32_t offset = 0;
        if (!AddBlob(*c, sectors2048 + i * kSectorBytes, kSectorBytes, offset) ||
            !AddEntry(*c, Entry(composed_kind::kLiteral, 0, offset)))
            return OutOfMemory();
    }
    return true;
}

bool AppendComposedSourceSectors(ImageContext& ctx, uint32_t firstSourceSector, uint32_t count) {
    ComposedImage* c = Composed(ctx);
    if (!c) return false;
    for (uint32_t i = 0; i < count; ++i)
        if (!AddEntry(*c, Entry(composed_kind::kSourceSector, 0, firstSourceSector + i))) return OutOfMemory();
    return true;
}

bool AppendComposedDiskFile(ImageContext& ctx, std::u16string_view path, uint64_t sizeBytes) {
    ComposedImage* c = Composed(ctx);
    if (!c || sizeBytes == 0) return c != nullptr;
    std::vector<uint8_t> record(4 + (path.size() + 1) * 2, 0);
    std::memcpy(record.data() + 4, path.data(), path.size() * 2);
    uint32_t offset = 0;
    if (!AddBlob(*c, record.data(), record.size(), offset)) return OutOfMemory();
    const uint64_t sectors = (sizeBytes + kSectorBytes - 1) / kSectorBytes;
    for (uint64_t i = 0; i < sectors; ++i) {
        const bool last = i + 1 == sectors;
        uint32_t used = last ? uint32_t(sizeBytes - i * kSectorBytes) : kSectorBytes;
        uint32_t flags = (last ? kComposedLastSectorBit : 0) | used;
        uint64_t e = i == 0 ? Entry(composed_kind::kFileFirst, flags, offset) : Entry(composed_kind::kFileNext, flags, 0);
        if (!AddEntry(*c, e)) return OutOfMemory();
    }
    return true;
}

int32_t ReadComposedSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) {
    ComposedImage* c = Composed(ctx);
    if (!c || count <= 0 || first < c->sessionStart) return 0;
    const bool videoCd = ctx.videoCdKind != 0;
    const size_t outBytes = videoCd ? kRawSectorBytes : kSectorBytes;
    std::vector<uint8_t> work;
    foundation::UniqueFile file;
    std::u16string openPath;
    int32_t done = 0;
    while (done < count) {
        const size_t index = size_t(first - c->sessionStart) + size_t(done);
        if (index >= c->map.size()) break;
        const uint64_t e = c->map[index];
        // Runs of one kind are read together.
        size_t run = 1;
        while (done + int32_t(run) < count && index + run < c->map.size()) {
            uint64_t n = c->map[index + run];
            if (KindOf(n) != KindOf(e)) break;
            if (KindOf(e) == composed_kind::kSourceSector && ValueOf(n) != ValueOf(e) + run) break;
            if (KindOf(e) == composed_kind::kLiteral || KindOf(e) == composed_kind::kFileFirst) break;
            ++run;
        }
        if (KindOf(e) == composed_kind::kFileFirst) {
            while (done + int32_t(run) < count && index + run < c->map.size() &&
                   KindOf(c->map[index + run]) == composed_kind::kFileNext)
                ++run;
        }
        work.assign(run * kSectorBytes, 0);
        switch (KindOf(e)) {
            case composed_kind::kLiteral:
                if (uint64_t(ValueOf(e)) + kSectorBytes > c->blob.size()) return done;
                std::memcpy(work.data(), c->blob.data() + ValueOf(e), kSectorBytes);
                break;
            case composed_kind::kSourceSector:
                if (ValueOf(e) > uint32_t(INT32_MAX) ||
                    ReadImageSectors(ctx, int32_t(ValueOf(e)), work.data(), int32_t(run), ImageSource::Stored) !=
                        int32_t(run)) {
                    foundation::OperationStatus = foundation::kStatusSourceReadFailed;
                    foundation::ShowLastError(ctx.imagePath);
                    return done;
                }
                break;
            case composed_kind::kFileFirst:
            case composed_kind::kFileNext: {
                std::u16string path;
                uint64_t offset = 0;
                if (!FindFileStart(*c, index, path, offset)) return done;
                if (!file || path != openPath) {
                    file.reset(foundation::OpenFileForRead(path));
                    openPath = path;
                    if (!file) {
                        foundation::OperationStatus = foundation::kStatusSourceOpenFailed;
                        foundation::ShowLastError(path);
                        return done;
                    }
                }
                uint64_t bytes = 0;
                for (size_t i = 0; i < run; ++i) bytes += UsedOf(c->map[index + i]);
                if (foundation::ReadFileAtCount(file.get(), work.data(), offset, size_t(bytes)) != int64_t(bytes)) {
                    foundation::OperationStatus = foundation::kStatusSourceReadFailed;
                    foundation::ShowLastError(path);
                    return done;
                }
                break;
            }
            default:
                return done;
        }
        for (size_t i = 0; i < run; ++i) {
            uint8_t* out = buffer + size_t(done + int32_t(i)) * outBytes;
            const uint8_t* in = work.data() + i * kSectorBytes;
            if (videoCd) MakeMode2Form1Sector(first + done + int32_t(i), in, out);
            else std::memcpy(out, in, kSectorBytes);
        }
        done += int32_t(run);
    }
    return done;
}

void InitSectorOwnerMap(ImageContext& ctx, int32_t firstFileSector, int32_t endSector) {
    ComposedImage* c = Composed(ctx);
    if (!c) return;
    c->firstFileSector = firstFileSector;
    int64_t sectors = std::max<int64_t>(0, int64_t(endSector) - c->sessionStart);
    c->owners.assign(size_t((sectors + kOwnerSlotSectors - 1) / kOwnerSlotSectors), nullptr);
}

void SetSectorOwner(ImageContext& ctx, const ImageItem* item, int32_t firstSector, int32_t lastSector) {
    ComposedImage* c = Composed(ctx);
    if (!c || firstSector < c->sessionStart) return;
    size_t firstSlot = size_t(firstSector - c->sessionStart) / kOwnerSlotSectors;
    size_t lastSlot = size_t(std::max(lastSector, firstSector) - c->sessionStart) / kOwnerSlotSectors;
    if ((firstSector - c->sessionStart) % kOwnerSlotSectors == 0 && firstSlot < c->owners.size())
        c->owners[firstSlot] = item;
    if (lastSlot < c->owners.size()) c->owners[lastSlot] = item;
}

std::u16string GetSectorOwnerName(ImageContext& ctx, int32_t sector) {
    ComposedImage* c = Composed(ctx);
    if (!c || sector < c->sessionStart) return {};
    if (c->firstFileSector >= 0 && sector < c->firstFileSector) return u"Directory information";
    size_t slot = size_t(sector - c->sessionStart) / kOwnerSlotSectors;
    if (slot < c->owners.size() && c->owners[slot]) return c->owners[slot]->name;
    return {};
}

}  // namespace image
