#include "containers/mzp/mzp_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/deflate_chain.h"
#include "codecs/deflate_decoder.h"
#include "containers/mzp/chunk_table.h"
#include "containers/mzp/mzp_volume_services.h"
#include "foundation/byte_order.h"
#include "foundation/name_lookup.h"
#include "image/document/image_context.h"
#include "image/document/password_services.h"
#include "platform/last_error.h"

namespace containers {

namespace {

using namespace mzp;

constexpr uint64_t kSfxMinFileBytes = 65536;
constexpr uint32_t kStoredSlack = 66560;       // a stored chunk never exceeds the chunk by more
constexpr uint32_t kMaxLengthBits = 32;
constexpr int kPasswordAttempts = 3;
constexpr size_t kMaxPasswordBytes = 256;
constexpr uint64_t kMaxChunks = uint64_t(1) << 31;

int KeyLength(uint8_t encryption) {
    switch (encryption) {
    case 1: return 16;
    case 2: return 24;
    case 3: return 32;
    default: return 0;
    }
}

bool ReadAt(platform::FileHandle file, uint64_t offset, uint8_t* out, size_t n) {
    return file && foundation::ReadFileAtCount(file, out, offset, n) == int64_t(n);
}

// Later volumes are found beside the first, whatever the case of their names.
platform::FileHandle OpenVolumeFile(MzpContainer& c, size_t n) {
    MzpVolume& v = c.volumes[n];
    if (v.path.empty()) {
        const std::u16string& first = c.volumes[0].path;
        auto name = MzpVolumeNameAt(first, c.namingStyle, uint32_t(n));
        if (!name) return nullptr;
        v.path = *name;
    }
    platform::FileHandle file = foundation::OpenFileForRead(foundation::ResolvePathNoCase(v.path));
    if (!file) file = OpenMzpVolumeFile(&c, int32_t(n));
    return file;
}

MzpVolume* VolumeFor(MzpContainer& c, uint64_t offset, size_t& index) {
    // Volumes are few; their shares are in rising order.
    for (size_t i = 0; i < c.volumes.size(); ++i) {
        MzpVolume& v = c.volumes[i];
        if (offset >= v.shareStart && offset - v.shareStart < v.shareBytes) {
            index = i;
            return &v;
        }
    }
    return nullptr;
}

std::optional<Header> ReadHeaderAt(platform::FileHandle file, uint64_t base) {
    uint8_t bytes[kHeaderBytes];
    if (!ReadAt(file, base, bytes, sizeof bytes)) return std::nullopt;
    return ParseHeader(bytes);
}

struct Records {
    std::vector<uint8_t> volume;
    std::vector<uint8_t> sizes;
    std::vector<uint8_t> comment;
};

// Walks the records from base + 77 to base + header length; each record must
// hold its own head and stay inside the area.
bool ReadRecords(platform::FileHandle file, uint64_t base, uint32_t headerLength, Records& out) {
    const uint32_t area = headerLength - uint32_t(kHeaderBytes);
    if (area > kMaxRecordsBytes) return false;
    std::vector<uint8_t> bytes(area);
    if (area != 0 && !ReadAt(file, base + kHeaderBytes, bytes.data(), area)) return false;
    size_t at = 0;
    while (at < area) {
        if (area - at < 8) return false;
        const uint32_t type = foundation::ReadLE32(&bytes[at]);
        const uint32_t length = foundation::ReadLE32(&bytes[at + 4]);
        if (length < 8 || length > area - at) return false;
        const auto first = bytes.begin() + ptrdiff_t(at);
        if (type == record::kVolume) out.volume.assign(first, first + length);
        if (type == record::kVolumeSizes) out.sizes.assign(first, first + length);
        if (type == record::kComment) out.comment.assign(first, first + length);
        at += length;
    }
    return true;
}

bool SetUpVolumes(MzpContainer& c, const Records& r, uint64_t fileSize, uint64_t sfxTail) {
    if (r.volume.empty()) {
        MzpVolume& v = c.volumes.emplace_back();
        v.size = fileSize;
        v.shareBytes = fileSize - sfxTail;
        return true;
    }
    if (r.volume.size() < kVolumeRecordBytes || r.sizes.size() < 16) return false;
    const uint32_t count = foundation::ReadLE32(&r.volume[8]);
    c.namingStyle = int32_t(foundation::ReadLE32(&r.volume[48]) & 0xF);
    if (count == 0 || count > MaxVolumes(c.namingStyle) || (c.namingStyle != 0 && c.namingStyle != 1)) return false;
    if (foundation::ReadLE32(&r.sizes[8]) != count || foundation::ReadLE32(&r.sizes[12]) != 1 || r.sizes.size() < 16 + 5 * size_t(count))
        return false;
    c.multiVolume = true;
    uint64_t start = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = &r.sizes[16 + 5 * size_t(i)];
        MzpVolume& v = c.volumes.emplace_back();
        v.size = uint64_t(foundation::ReadLE32(e)) | (uint64_t(e[4]) << 32);
        // Volumes map by their shares: the first holds its whole size, every
        // later one its size less its 100-byte header area.
        if (i == 0) {
            if (v.size < sfxTail) return false;
            v.shareBytes = v.size - sfxTail;
        } else {
            if (v.size < kLaterVolumeArea) return false;
            v.shareBytes = v.size - kLaterVolumeArea;
            v.dataOffset = kLaterVolumeArea;
        }
        v.shareStart = start;
        start += v.shareBytes;
    }
    return true;
}

void ReadComment(MzpContainer& c, const std::vector<uint8_t>& rec) {
    if (rec.size() < 16 || foundation::ReadLE32(&rec[8]) != 0 || foundation::ReadLE32(&rec[12]) > kMaxCommentBytes) return;
    std::vector<uint8_t> text;
    if (codecs::InflateBuffer(&rec[12], rec.size() - 12, text, nullptr) != 0) return;
    c.commentBytes.assign(text.begin(), text.end());
}

bool ReadTable(MzpContainer& c, uint64_t archiveBytes) {
    const Header& h = c.header;
    const uint64_t tableBytes = PackedTableBytes(c.chunkCount, c.lengthBits + c.typeBits);
    uint64_t at = 0;
    uint64_t stored = tableBytes;
    const bool atEnd = (h.offsetField & kTableAtEnd) != 0;
    const bool compressed = atEnd && (h.flags & kFlagTableCompressed) != 0;
    if (!atEnd) {
        at = c.base + h.headerLength;
    } else {
        stored = compressed ? h.compressedTableSize : tableBytes;
        if (h.archiveSize < stored) return false;
        at = h.archiveSize - stored;
    }
    if (at > archiveBytes || stored > archiveBytes - at) return false;
    std::vector<uint8_t> raw;
    raw.resize(size_t(stored));
    if (stored != 0 && !ReadMzpArchive(c, at, raw.data(), raw.size())) return false;
    if (!compressed) {
        c.table = std::move(raw);
        return true;
    }
    c.table.assign(size_t(tableBytes) + size_t(codecs::kDeflateDefaultOutputRoom), 0);
    auto decoder = std::make_unique<codecs::DeflateDecoder>();
    const int64_t got = codecs::DeflateDecompressSized(*decoder, raw.data(), c.table.data(), raw.size(),
                                                       int64_t(c.table.size()));
    if (got != int64_t(tableBytes)) return false;
    c.table.resize(size_t(tableBytes));
    return true;
}

bool ComputeOffsets(MzpContainer& c, uint64_t archiveBytes) {
    const bool encrypted = c.header.encryption != 0;
    c.offsets.resize(size_t(c.chunkCount) + 1);
    uint64_t at = c.base + (c.header.offsetField & kOffsetMask);
    const uint32_t bits = c.lengthBits + c.typeBits;
    for (uint64_t i = 0; i < c.chunkCount; ++i) {
        c.offsets[size_t(i)] = at;
        const uint64_t stored = GetPackedBits(c.table, i * bits, c.lengthBits) + (encrypted ? 6 : 5);
        if (stored > uint64_t(c.chunkSize) + kStoredSlack) return false;
        at += stored;
        if (at > archiveBytes) return false;
    }
    c.offsets[size_t(c.chunkCount)] = at;
    return true;
}

bool AskForPassword(image::ImageContext& ctx, MzpContainer& c) {
    for (int attempt = 0; attempt < kPasswordAttempts; ++attempt) {
        if (!image::AskPassword(&ctx, nullptr)) return false;
        const char* text = ctx.outputPassword.data();
        const size_t length = strnlen(text, ctx.outputPassword.size());
        if (length == 0 || length > kMaxPasswordBytes) continue;
        if (SetMzpPassword(c, text) && GetMzpChunk(c, 0) != nullptr) return true;
        c.passwordSet = false;
        c.coding.key = nullptr;
        c.lastError = 0;
    }
    return false;
}

// The archive at `base`: null when anything fails a check.
std::unique_ptr<MzpContainer> OpenAt(image::ImageContext& ctx, std::u16string_view path, platform::FileHandle file,
                                     uint64_t fileSize, uint64_t base, bool sfx) {
    const auto header = ReadHeaderAt(file, base);
    if (!header || header->headerLength > fileSize - base) return nullptr;
    auto c = std::make_unique<MzpContainer>();
    c->ctx = &ctx;
    c->header = *header;
    c->base = base;
    c->selfExtracting = sfx;
    Records records;
    if (!ReadRecords(file, base, header->headerLength, records)) return nullptr;
    if (!SetUpVolumes(*c, records, fileSize, sfx ? kEndRecordBytes : 0)) return nullptr;
    c->volumes[0].path.assign(path);
    c->volumes[0].borrowed = file;
    ReadComment(*c, records.comment);

    const Header& h = c->header;
    if (h.version != kVersion || h.encryption > 3) {
        c->unsupportedVersion = true;
        return c;
    }
    const uint32_t units = h.flags & 0xFFF;
    if (units == 0 || h.size % 2048 != 0) return nullptr;
    c->chunkSize = units * kChunkUnit;
    c->sectorsPerChunk = c->chunkSize / 2048;
    c->totalSectors = h.size / 2048;
    c->chunkCount = (h.size + c->chunkSize - 1) / c->chunkSize;
    c->lastChunkSize = h.size % c->chunkSize == 0 ? c->chunkSize : uint32_t(h.size % c->chunkSize);
    const uint32_t lengthField = h.bitsByte >> 3;
    c->lengthBits = lengthField != 0 ? lengthField + 10 : BitWidth(c->chunkSize - 1);
    c->typeBits = h.bitsByte & 7;
    if (c->lengthBits > kMaxLengthBits || c->totalSectors > uint64_t(INT32_MAX)) return nullptr;
    const uint64_t archiveBytes = c->volumes.back().shareStart + c->volumes.back().shareBytes;
    if (c->chunkCount > kMaxChunks || c->chunkCount * 5 > archiveBytes) return nullptr;
    if (!ReadTable(*c, archiveBytes) || !ComputeOffsets(*c, archiveBytes)) return nullptr;
    c->coding.encryptionType = h.encryption;
    c->coding.deflateVariant = int32_t((h.flags >> 23) & 3);
    c->coding.hoisted = (h.flags & kFlagHoistedPrefix) != 0;
    c->coding.prefix = h.prefix;
    c->cache = codecs::CreateChunkCache(4);
    if (!c->cache) return nullptr;
    if (h.encryption != 0 && !AskForPassword(ctx, *c)) c->passwordRefused = true;
    return c;
}

}  // namespace

bool ReadMzpArchive(MzpContainer& c, uint64_t offset, uint8_t* out, size_t n) {
    while (n > 0) {
        size_t index = 0;
        MzpVolume* v = VolumeFor(c, offset, index);
        if (!v) {
            c.lastError = 2;
            return false;
        }
        if (!v->Handle()) {
            // One later volume open at a time.
            for (size_t i = 1; i < c.volumes.size(); ++i) c.volumes[i].file.reset();
            v->file.reset(OpenVolumeFile(c, index));
            if (!v->file) {
                c.lastError = 1;
                return false;
            }
        }
        const uint64_t within = offset - v->shareStart;
        const size_t take = size_t(std::min<uint64_t>(n, v->shareBytes - within));
        const int64_t got = foundation::ReadFileAtCount(v->Handle(), out, v->dataOffset + within, take);
        if (got != int64_t(take)) {
            c.lastError = got < 0 ? 1 : 2;
            return false;
        }
        offset += take;
        out += take;
        n -= take;
    }
    return true;
}

MzpContainer* OpenMzp(image::ImageContext& ctx, std::u16string_view path, platform::FileHandle file) {
    const int64_t signedSize = foundation::GetFileSize64(file);
    if (signedSize < int64_t(kHeaderBytes)) return nullptr;
    const uint64_t fileSize = uint64_t(signedSize);
    try {
        if (fileSize > kSfxMinFileBytes) {
            uint8_t end[kEndRecordBytes];
            if (ReadAt(file, fileSize - kEndRecordBytes, end, sizeof end) && foundation::ReadLE32(end) == record::kEnd &&
                foundation::ReadLE32(end + 4) == kEndRecordBytes) {
                const uint32_t tableAt = foundation::ReadLE32(end + 12);
                const uint32_t tableLength = foundation::ReadLE32(end + 16);
                const uint32_t base = foundation::ReadLE32(end + 20) & 0x7FFFFFFFu;
                // The entry table lies between the stub and the archive.
                if (base < fileSize - kEndRecordBytes && tableAt < base && tableLength <= base - tableAt &&
                    tableLength <= kMaxEntryTableBytes) {
                    if (auto c = OpenAt(ctx, path, file, fileSize, base, true)) {
                        std::vector<uint8_t> record(tableLength);
                        if (!ReadAt(file, tableAt, record.data(), record.size())) return nullptr;
                        c->sfx = ParseEntryTable(record.data(), record.size());
                        if (!c->sfx) return nullptr;
                        c->sfx->entryTableOffset = tableAt;
                        c->sfx->base = base;
                        return c.release();
                    }
                }
            }
        }
        return OpenAt(ctx, path, file, fileSize, 0, false).release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void CloseMzp(MzpContainer* container) { delete container; }

int SetMzpPassword(MzpContainer& c, const char* password) {
    const int length = KeyLength(c.header.encryption);
    if (length == 0 || password == nullptr || strnlen(password, kMaxPasswordBytes + 1) > kMaxPasswordBytes) return 0;
    if (codecs::AesSetKey(c.key, password, length) != 0) return 0;
    c.coding.key = &c.key;
    c.passwordSet = true;
    return 1;
}

const uint8_t* GetMzpChunk(MzpContainer& c, uint64_t n) {
    return FetchArchiveChunk(c, n, c.header.encryption != 0 && !c.passwordSet,
                             [&](uint64_t offset, uint8_t* out, size_t bytes) { return ReadMzpArchive(c, offset, out, bytes); });
}

int CopyMzpSector(MzpContainer& c, uint32_t sector, uint8_t* destination) {
    std::lock_guard<std::mutex> guard(c.lock);
    return CopyArchiveSector(c, sector, destination, c.header.encryption != 0 && !c.passwordSet,
                             [&](uint64_t offset, uint8_t* out, size_t bytes) { return ReadMzpArchive(c, offset, out, bytes); });
}

}  // namespace containers
