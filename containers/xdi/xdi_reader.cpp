#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/crc32.h"
#include "codecs/deflate_chain.h"
#include "containers/mzp/chunk_table.h"
#include "containers/mzp/mzp_format.h"
#include "containers/xdi/xdi_container.h"
#include "containers/xdi/xdi_volume_services.h"
#include "foundation/byte_order.h"
#include "foundation/name_lookup.h"
#include "image/document/image_context.h"
#include "image/document/password_services.h"

namespace containers {
namespace {

constexpr uint32_t kStoredSlack = 66560;
constexpr uint64_t kMaxBlocks = uint64_t(1) << 31;
constexpr int kPasswordAttempts = 3;

bool ReadAt(platform::FileHandle file, uint64_t offset, uint8_t* out, size_t n) {
    return file && foundation::ReadFileAtCount(file, out, offset, n) == int64_t(n);
}

int KeyLength(uint8_t encryption) { return encryption >= 1 && encryption <= 3 ? 8 + 8 * encryption : 0; }

bool HeaderCrcMatches(std::vector<uint8_t> header) {
    // The main header and a part header keep their CRC at the same place.
    static_assert(xdi_header::kCrc == xdi_part::kCrc);
    const uint32_t stored = foundation::ReadLE32(&header[xdi_header::kCrc]);
    std::memset(&header[xdi_header::kCrc], 0, 4);
    return codecs::Crc32(header.data(), header.size()) == stored;
}

platform::FileHandle OpenPartFile(XdiContainer& c, size_t n) {
    MzpVolume& v = c.parts[n];
    if (v.path.empty()) {
        auto name = GetXdiPartName(c.parts[0].path, uint32_t(n));
        if (!name) return nullptr;
        v.path = *name;
    }
    platform::FileHandle file = foundation::OpenFileForRead(foundation::ResolvePathNoCase(v.path));
    if (!file) file = OpenXdiPartFile(&c, int32_t(n));
    return file;
}

bool ReadArchive(XdiContainer& c, uint64_t offset, uint8_t* out, size_t n) {
    while (n > 0) {
        MzpVolume* v = nullptr;
        size_t index = 0;
        for (size_t i = 0; i < c.parts.size(); ++i) {
            if (offset >= c.parts[i].shareStart && offset - c.parts[i].shareStart < c.parts[i].shareBytes) {
                v = &c.parts[i];
                index = i;
                break;
            }
        }
        if (!v) {
            c.lastError = 2;
            return false;
        }
        if (!v->Handle()) {
            for (size_t i = 1; i < c.parts.size(); ++i) c.parts[i].file.reset();
            v->file.reset(OpenPartFile(c, index));
            if (!v->file) {
                c.lastError = 1;
                return false;
            }
        }
        const uint64_t within = offset - v->shareStart;
        const size_t take = size_t(std::min<uint64_t>(n, v->shareBytes - within));
        if (foundation::ReadFileAtCount(v->Handle(), out, v->dataOffset + within, take) != int64_t(take)) {
            c.lastError = 2;
            return false;
        }
        offset += take;
        out += take;
        n -= take;
    }
    return true;
}

// Part files map by their shares: the first its whole size, each later one its size
// less its 40-byte header. Each later part's header is checked first.
bool SetUpParts(XdiContainer& c, uint16_t count, uint64_t firstSize, uint64_t fileSize, std::u16string_view path) {
    if (count == 0) {
        MzpVolume& v = c.parts.emplace_back();
        v.size = fileSize;
        v.shareBytes = fileSize;
        return true;
    }
    if (count > kXdiMaxParts) return false;
    c.parts.reserve(count);
    MzpVolume& first = c.parts.emplace_back();
    first.path.assign(path);
    first.size = firstSize;
    first.shareBytes = firstSize;
    uint64_t start = firstSize;
    for (uint16_t n = 1; n < count; ++n) {
        c.parts.emplace_back();
        MzpVolume& v = c.parts.back();
        v.file.reset(OpenPartFile(c, n));
        if (!v.file) return false;
        std::vector<uint8_t> head(kXdiPartHeaderBytes);
        if (!ReadAt(v.file.get(), 0, head.data(), head.size()) || !IsXdiMagic(head.data(), head.size()) ||
            foundation::ReadLE32(&head[xdi_part::kHeaderLength]) != kXdiPartHeaderBytes || !HeaderCrcMatches(head))
            return false;
        v.size = foundation::ReadLE64(&head[xdi_part::kFileBytes]);
        if (v.size <= kXdiPartHeaderBytes) return false;
        v.shareBytes = v.size - kXdiPartHeaderBytes;
        v.dataOffset = kXdiPartHeaderBytes;
        v.shareStart = start;
        start += v.shareBytes;
        v.file.reset();
    }
    return true;
}

bool AskForPassword(image::ImageContext& ctx, XdiContainer& c) {
    for (int attempt = 0; attempt < kPasswordAttempts; ++attempt) {
        if (!image::AskPassword(&ctx, nullptr)) return false;
        const char* text = ctx.outputPassword.data();
        const size_t length = strnlen(text, ctx.outputPassword.size());
        if (length == 0 || length > kXdiMaxPasswordBytes) continue;
        if (SetXdiPassword(c, text) && ReadXdiBlock(c, 0) != nullptr) return true;
        c.passwordSet = false;
        c.coding.key = nullptr;
        c.lastError = 0;
    }
    return false;
}

}  // namespace



bool IsXdiMagic(const uint8_t* bytes, size_t length) {
    return length >= xdi_header::kMagicBytes &&
           std::memcmp(bytes + xdi_header::kMagic, xdi_header::kMagicText, xdi_header::kMagicBytes) == 0;
}

XdiContainer* OpenXdi(image::ImageContext& ctx, std::u16string_view path, platform::FileHandle file) {
    const int64_t signedSize = foundation::GetFileSize64(file);
    if (signedSize < int64_t(kXdiHeaderBytes)) return nullptr;
    const uint64_t fileSize = uint64_t(signedSize);
    try {
        uint8_t fixed[kXdiHeaderBytes];
        if (!ReadAt(file, 0, fixed, sizeof fixed) || !IsXdiMagic(fixed, sizeof fixed)) return nullptr;
        namespace f = xdi_header;
        const uint32_t headerLength = foundation::ReadLE32(fixed + f::kHeaderLength);
        if (headerLength < kXdiHeaderBytes || headerLength > kXdiMaxHeaderBytes || headerLength > fileSize)
            return nullptr;
        std::vector<uint8_t> header(headerLength);
        if (!ReadAt(file, 0, header.data(), header.size()) || !HeaderCrcMatches(header)) return nullptr;
        auto c = std::make_unique<XdiContainer>();
        c->ctx = &ctx;
        c->headerLength = headerLength;
        c->version = foundation::ReadLE32(&header[f::kVersion]);
        c->encryption = header[f::kEncryption];
        const uint32_t units = foundation::ReadLE32(&header[f::kBlockUnits]) & 0xFFF;
        const uint32_t commentAt = foundation::ReadLE32(&header[f::kCommentOffset]);
        const uint32_t commentBytes = foundation::ReadLE32(&header[f::kCommentBytes]);
        const uint64_t size = foundation::ReadLE64(&header[f::kImageBytes]);
        c->archiveSize = foundation::ReadLE64(&header[f::kArchiveBytes]);
        c->level = header[f::kLevel];
        const uint8_t bits = header[f::kTableBits];
        const uint16_t partCount = foundation::ReadLE16(&header[f::kPartCount]);
        const uint64_t firstPartSize = foundation::ReadLE64(&header[f::kFirstPartBytes]);
        // Header checks come before any part is opened.
        if (commentAt != 0) {
            if (commentAt < kXdiHeaderBytes || commentAt > headerLength || commentBytes > headerLength - commentAt ||
                commentBytes < 4 || foundation::ReadLE32(&header[commentAt]) > mzp::kMaxCommentBytes)
                return nullptr;
            std::vector<uint8_t> text;
            if (codecs::InflateBuffer(&header[commentAt], commentBytes, text, nullptr) != 0) return nullptr;
            c->commentBytes.assign(text.begin(), text.end());
        }
        if (partCount > kXdiMaxParts) return nullptr;
        if (!SetUpParts(*c, partCount, firstPartSize, fileSize, path)) return nullptr;
        c->parts[0].path.assign(path);
        c->parts[0].borrowed = file;
        if (c->version != f::kCurrentVersion || c->encryption > 3) {
            c->unsupportedVersion = true;
            return c.release();
        }
        if (units == 0 || size % 2048 != 0) return nullptr;
        c->chunkSize = units * mzp::kChunkUnit;
        c->sectorsPerChunk = c->chunkSize / 2048;
        c->totalSectors = size / 2048;
        c->chunkCount = (size + c->chunkSize - 1) / c->chunkSize;
        c->lastChunkSize = size % c->chunkSize == 0 ? c->chunkSize : uint32_t(size % c->chunkSize);
        c->lengthBits = (bits >> 3) != 0 ? (bits >> 3) + 10 : BitWidth(c->chunkSize - 1);
        c->typeBits = bits & 7;
        const uint64_t archiveBytes = c->parts.back().shareStart + c->parts.back().shareBytes;
        if (c->lengthBits > 32 || c->totalSectors > uint64_t(INT32_MAX) || c->chunkCount > kMaxBlocks ||
            c->chunkCount * 5 > archiveBytes)
            return nullptr;
        const uint64_t tableBytes = PackedTableBytes(c->chunkCount, c->lengthBits + c->typeBits);
        if (headerLength + tableBytes > archiveBytes) return nullptr;
        c->table.resize(size_t(tableBytes));
        if (tableBytes != 0 && !ReadArchive(*c, headerLength, c->table.data(), c->table.size())) return nullptr;
        const uint32_t firstBlock = foundation::ReadLE32(&header[f::kFirstBlock]) & 0xFFFFFF;
        if (firstBlock < headerLength + tableBytes) return nullptr;
        c->offsets.resize(size_t(c->chunkCount) + 1);
        uint64_t at = firstBlock;
        for (uint64_t i = 0; i < c->chunkCount; ++i) {
            c->offsets[size_t(i)] = at;
            const uint64_t stored = GetPackedBits(c->table, i * (c->lengthBits + c->typeBits), c->lengthBits) +
                                    (c->encryption != 0 ? 6 : 5);
            if (stored > uint64_t(c->chunkSize) + kStoredSlack) return nullptr;
            at += stored;
            if (at > archiveBytes) return nullptr;
        }
        c->offsets[size_t(c->chunkCount)] = at;
        c->coding.encryptionType = c->encryption;
        c->coding.deflateVariant = 0;
        c->coding.hoisted = false;
        c->cache = codecs::CreateChunkCache(4);
        if (!c->cache) return nullptr;
        if (c->encryption != 0 && !AskForPassword(ctx, *c)) c->passwordRefused = true;
        return c.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void CloseXdi(XdiContainer* c) { delete c; }

int SetXdiPassword(XdiContainer& c, const char* password) {
    const int length = KeyLength(c.encryption);
    if (length == 0 || !password || strnlen(password, kXdiMaxPasswordBytes + 1) > kXdiMaxPasswordBytes) return 0;
    if (codecs::AesSetKey(c.key, password, length) != 0) return 0;
    c.coding.key = &c.key;
    c.passwordSet = true;
    return 1;
}

const uint8_t* ReadXdiBlock(XdiContainer& c, uint64_t n) {
    return FetchArchiveChunk(c, n, c.encryption != 0 && !c.passwordSet,
                             [&](uint64_t offset, uint8_t* out, size_t bytes) { return ReadArchive(c, offset, out, bytes); });
}

int CopyXdiSector(XdiContainer& c, uint32_t sector, uint8_t* destination) {
    std::lock_guard<std::mutex> guard(c.lock);
    return CopyArchiveSector(c, sector, destination, c.encryption != 0 && !c.passwordSet,
                             [&](uint64_t offset, uint8_t* out, size_t bytes) { return ReadArchive(c, offset, out, bytes); });
}

namespace {
void FreeReader(image::XdiContainerState* state) { CloseXdi(state); }
}  // namespace

int AttachXdi(image::ImageContext& ctx) {
    XdiContainer* c = OpenXdi(ctx, ctx.imagePath, ctx.imageHandle.get());
    if (!c) return -1;
    ctx.xdiReader.Attach(static_cast<image::XdiContainerState*>(c), FreeReader);
    if (!c->commentBytes.empty()) {
        ctx.archiveComment = c->commentBytes;
        ctx.archiveCommentPresent = 1;
    }
    if (c->parts.size() > 1) {
        ctx.splitOutput = 1;
        ctx.volumeSize = int64_t(c->parts[0].size);
    }
    ctx.compressionLevel = std::min<int32_t>(c->level, 2);
    ctx.formatCode = image::format_code::kXdi;
    return 0;
}

}  // namespace containers
