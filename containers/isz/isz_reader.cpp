#include "containers/isz/isz_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "codecs/aes.h"
#include "foundation/byte_cursor.h"
#include "foundation/dialog_services.h"
#include "foundation/paths.h"
#include "image/detect/fs_probe.h"
#include "image/document/image_context.h"
#include "image/sheets/cue_parser_names.h"
#include "platform/text.h"

namespace containers {
namespace {

constexpr int32_t kIszFormat = 6;
constexpr size_t kSegmentRecordBytes = 24;
constexpr size_t kPointerBytes = 3;
constexpr uint32_t kFlagZero = 0x00;
constexpr uint32_t kFlagStored = 0x40;
constexpr uint32_t kFlagZlib = 0x80;

std::u16string Digits(int value, int width) {
    std::u16string out(size_t(width), u'0');
    for (int i = width - 1; i >= 0; --i, value /= 10) out[size_t(i)] = char16_t(u'0' + value % 10);
    return out;
}

// The path as given when it exists, else a name of its folder equal without case.
std::u16string ResolveNoCase(const std::u16string& path) {
    const std::u16string folder = foundation::FolderOfPath(path);
    const std::u16string found = image::FindNameNoCase(folder, foundation::NameOfPath(path));
    return found.empty() ? path : foundation::CombinePath(folder, found);
}

bool ReadHeaderOf(platform::FileHandle file, std::array<uint8_t, kIszHeaderBytes>& bytes) {
    const int64_t size = foundation::GetFileSize64(file);
    return size > int64_t(kIszHeaderBytes) && foundation::ReadFileAt(file, bytes.data(), 0, bytes.size());
}

uint32_t ChunkTypeOf(uint32_t flags) {
    switch (flags) {
        case kFlagZero: return kChunkZero;
        case kFlagStored: return kChunkStored;
        case kFlagZlib: return kChunkZlib;
        default: return kChunkBzip2;
    }
}

// Part records of the segment table; false for a table we cannot trust.
bool ReadSegmentParts(ChunkTable& table, platform::FileHandle file, const IszHeader& h, uint64_t fileSize) {
    if (h.dataOffset <= h.segmentTableOffset || h.dataOffset > fileSize) return false;
    const size_t length = h.dataOffset - h.segmentTableOffset;
    if (length / kSegmentRecordBytes > kMaxPartFiles + 1) return false;
    std::vector<uint8_t> bytes(length);
    if (!foundation::ReadFileAt(file, bytes.data(), h.segmentTableOffset, length)) return false;
    UnmaskIszTable(bytes.data(), length);
    foundation::ByteCursor c(bytes);
    uint64_t previousLeft = 0;
    for (size_t at = 0; c.Has(at, kSegmentRecordBytes); at += kSegmentRecordBytes) {
        const uint64_t size = c.Le64(at);
        const uint32_t chunks = c.Le32(at + 8);
        const uint64_t chunkOffset = c.Le32(at + 16);
        const uint64_t left = c.Le32(at + 20);
        if (chunks == 0) break;
        if (table.parts.size() == kMaxPartFiles) return false;
        ChunkPart part;
        part.fileSize = size;
        if (table.parts.empty()) {
            part.dataBytes = size;
        } else {
            // Part i's data begins where the previous part's last chunk continues.
            if (chunkOffset < previousLeft || chunkOffset - previousLeft > size) return false;
            part.dataBytes = size - (chunkOffset - previousLeft);
        }
        if (part.dataBytes == 0 || part.fileSize == 0) return false;
        table.parts.push_back(std::move(part));
        previousLeft = left;
    }
    return !table.parts.empty();
}

// Parts of equal size, each after a header of its own.
bool SplitEqualParts(ChunkTable& table, const IszHeader& h) {
    if (h.segmentSize <= h.headerSize || h.segmentSize <= h.dataOffset) return false;
    uint64_t remaining = uint64_t(h.sectorSize) * h.totalSectors;
    table.parts.push_back({u"", h.segmentSize, h.segmentSize});
    remaining -= std::min(remaining, h.segmentSize - h.dataOffset);
    const uint64_t room = h.segmentSize - h.headerSize;
    while (remaining != 0) {
        if (table.parts.size() == kMaxPartFiles) return false;
        const uint64_t data = std::min(room, remaining);
        table.parts.push_back({u"", data + h.headerSize, data});
        remaining -= data;
    }
    return true;
}

uint64_t JointSize(const ChunkTable& table, uint64_t fileSize) {
    if (table.parts.empty()) return fileSize;
    uint64_t total = 0;
    for (size_t i = 0; i < table.parts.size(); ++i) {
        const uint64_t n = i == 0 ? table.parts[i].fileSize : table.parts[i].dataBytes;
        total = n > UINT64_MAX - total ? UINT64_MAX : total + n;
    }
    return total;
}

// The password of the document (the one it was given, else asked for) as the
// AES key of the chunks. No record checks it: a wrong one shows when the
// chunks do not decode.
bool TakeIszPassword(image::ImageContext& ctx, ChunkTable& table, uint32_t encryption) {
    const int keyLength = encryption == 3 ? 24 : encryption == 4 ? 32 : 16;
    auto given = [&ctx]() { return strnlen(ctx.outputPassword.data(), ctx.outputPassword.size()); };
    if (given() == 0 && !foundation::AskPassword(&ctx, nullptr)) {
        ctx.passwordMissing = 1;
        return false;
    }
    if (given() == 0) {
        ctx.passwordMissing = 1;
        return false;
    }
    table.key.fill(0);
    std::memcpy(table.key.data(), ctx.outputPassword.data(), std::min(given(), table.key.size()));
    table.keyLength = keyLength;
    if (codecs::AesSetKeyBytes(table.aes, reinterpret_cast<const uint8_t*>(table.key.data()), keyLength) != 0)
        return false;
    table.decryptBlocks = DecryptIszBlocks;
    ctx.passwordGiven = 1;
    return true;
}

int ReadIszTable(image::ImageContext& ctx) {
    if (ctx.trackList) return -1;
    std::array<uint8_t, kIszHeaderBytes> bytes{};
    if (!ReadHeaderOf(ctx.imageHandle.get(), bytes)) return -1;
    std::optional<IszHeader> header = DecodeIszHeader(bytes);
    if (!header) return -1;

    const std::u16string first = FindFirstIszPart(ctx.imagePath);
    if (!first.empty()) {
        foundation::UniqueFile file(foundation::OpenFileForRead(first));
        if (!file || !ReadHeaderOf(file.get(), bytes)) return -1;
        header = DecodeIszHeader(bytes);
        if (!header) return -1;
        ctx.imagePath = first;
        ctx.imageHandle = std::move(file);
        ctx.imageSize = foundation::GetFileSize64(ctx.imageHandle.get());
    }
    const IszHeader& h = *header;
    platform::FileHandle file = ctx.imageHandle.get();
    const uint64_t fileSize = uint64_t(foundation::GetFileSize64(file));

    if (h.sectorSize == 0 || h.chunkSize == 0 || h.chunkCount == 0 || h.chunkSize > kMaxChunkBytes) return -1;
    if (h.pointerLength != kPointerBytes) return -1;

    ChunkTableOwner table = NewChunkTable();
    if (!table) return -1;
    table->file = file;
    table->sectorSize = 2048;

    const uint64_t imageBytes = uint64_t(h.sectorSize) * h.totalSectors;
    if (h.segmentTableOffset != 0) {
        if (!ReadSegmentParts(*table, file, h, fileSize)) return -1;
    } else if (h.pointerTableOffset == 0 && h.segmentSize != 0 && h.segmentSize < imageBytes + h.headerSize) {
        if (!SplitEqualParts(*table, h)) return -1;
    }
    if (table->parts.size() == 1) table->parts.clear();
    if (!table->parts.empty()) {
        table->partNaming = GetIszNamingStyle(ctx.imagePath);
        table->parts[0].name = ctx.imagePath;
        for (size_t i = 1; i < table->parts.size(); ++i)
            table->parts[i].name = ResolveNoCase(GetIszPartName(ctx.imagePath, table->partNaming, int(i)));
    }
    const uint64_t jointSize = JointSize(*table, fileSize);

    // The chunks the image's size asks for; the last one may be shorter.
    const uint64_t chunks = h.chunkCount;
    if (imageBytes == 0 || (chunks - 1) * h.chunkSize >= imageBytes) return -1;
    const uint64_t lastDecoded = imageBytes - (chunks - 1) * h.chunkSize;
    if (lastDecoded > h.chunkSize) return -1;

    std::vector<uint8_t> pointers;
    if (h.pointerTableOffset != 0) {
        if (chunks * kPointerBytes > fileSize || h.pointerTableOffset > fileSize - chunks * kPointerBytes) return -1;
        pointers.resize(size_t(chunks * kPointerBytes));
        if (!foundation::ReadFileAt(file, pointers.data(), h.pointerTableOffset, pointers.size())) return -1;
        UnmaskIszTable(pointers.data(), pointers.size());
    }
    uint64_t offset = h.dataOffset;
    for (uint64_t k = 0; k < chunks; ++k) {
        const uint64_t decoded = k + 1 == chunks ? lastDecoded : h.chunkSize;
        uint32_t stored = uint32_t(decoded);
        uint32_t flags = kFlagStored;
        if (!pointers.empty()) DecodeIszPointer(pointers.data() + k * kPointerBytes, stored, flags);
        const uint32_t type = ChunkTypeOf(flags);
        if (type != kChunkZero && (offset > jointSize || stored > jointSize - offset)) return -1;
        if (!AddChunk(*table, type, offset, stored, decoded)) return -1;
        if (type != kChunkZero) offset += stored;
    }
    if (h.encryption != 0 && !TakeIszPassword(ctx, *table, h.encryption)) return -1;
    ctx.userDataOffset = 0;
    return AttachChunkTable(ctx, std::move(table), kIszFormat) ? 0 : -1;
}

}  // namespace

std::optional<IszHeader> DecodeIszHeader(const std::array<uint8_t, kIszHeaderBytes>& bytes) {
    if (std::memcmp(bytes.data(), "IsZ!", 4) != 0) return std::nullopt;
    foundation::ByteCursor c(bytes);
    IszHeader h;
    h.headerSize = c.U8(4);
    h.sectorSize = c.Le16(10);
    h.totalSectors = c.Le32(12);
    h.encryption = c.U8(16);
    h.segmentSize = c.Le64(17);
    h.chunkCount = c.Le32(25);
    h.chunkSize = c.Le32(29);
    h.pointerLength = c.U8(33);
    h.segmentNumber = c.U8(34);
    h.pointerTableOffset = c.Le32(35);
    h.segmentTableOffset = c.Le32(39);
    h.dataOffset = c.Le32(43);
    return h;
}

bool IsFirstIszPart(const IszHeader& h) {
    if (h.pointerTableOffset != 0) return h.segmentTableOffset != 0 && h.segmentNumber == 0;
    return h.segmentSize != 0 && h.segmentSize < uint64_t(h.sectorSize) * h.totalSectors + h.headerSize;
}

int GetIszNamingStyle(std::u16string_view name) {
    const std::u16string lower = platform::ToLower(name);
    if (lower.ends_with(u".part01.isz")) return 1;
    if (lower.ends_with(u".part001.isz")) return 2;
    return 0;
}

std::u16string GetIszPartName(std::u16string_view name, int style, int i) {
    std::u16string out(name);
    if (style == 1 && out.size() >= 6) out.replace(out.size() - 6, 2, Digits(i + 1, 2));
    else if (style == 2 && out.size() >= 7) out.replace(out.size() - 7, 3, Digits(i + 1, 3));
    else if (out.size() >= 2) out.replace(out.size() - 2, 2, Digits(i, 2));
    return out;
}

std::u16string FindFirstIszPart(std::u16string_view path) {
    const std::u16string lower = platform::ToLower(path);
    const size_t dot = lower.rfind(u'.');
    if (dot == std::u16string::npos || lower.find(u'/', dot) != std::u16string::npos) return {};
    const std::u16string_view ext = std::u16string_view(lower).substr(dot + 1);
    std::u16string candidate;
    if (ext.size() >= 2 && ext[0] == u'i' && platform::IsAsciiDigit(ext[1]) && ext != u"isz") {
        candidate = std::u16string(path.substr(0, dot + 1)) + u"isz";
    } else if (ext == u"isz") {
        // "x.partNN.isz" or "x.partNNN.isz"
        const std::u16string_view stem = std::u16string_view(lower).substr(0, dot);
        size_t digits = 0;
        while (digits < stem.size() && platform::IsAsciiDigit(stem[stem.size() - 1 - digits])) ++digits;
        if ((digits != 2 && digits != 3) || !stem.substr(0, stem.size() - digits).ends_with(u".part")) return {};
        candidate = std::u16string(path);
        candidate.replace(dot - digits, digits, digits == 2 ? u"01" : u"001");
    } else {
        return {};
    }
    candidate = ResolveNoCase(candidate);
    if (platform::EqualsNoCase(candidate, path)) return {};
    foundation::UniqueFile file(foundation::OpenFileForRead(candidate));
    std::array<uint8_t, kIszHeaderBytes> bytes{};
    if (!file || !ReadHeaderOf(file.get(), bytes)) return {};
    const std::optional<IszHeader> header = DecodeIszHeader(bytes);
    return header && IsFirstIszPart(*header) ? candidate : std::u16string();
}

void DecryptIszBlocks(ChunkTable& table, uint8_t* bytes, size_t length) {
    // Trailing bytes of fewer than 16 are stored as they are.
    codecs::AesDecryptBlocks(table.aes, bytes, bytes, length / 16);
}

void UnmaskIszTable(uint8_t* bytes, size_t length) {
    static constexpr uint8_t kKey[4] = {uint8_t(~'I'), uint8_t(~'s'), uint8_t(~'Z'), uint8_t(~'!')};
    for (size_t i = 0; i < length; ++i) bytes[i] ^= kKey[i % 4];
}

void DecodeIszPointer(const uint8_t* entry, uint32_t& length, uint32_t& flags) {
    length = uint32_t(entry[0]) | uint32_t(entry[1]) << 8 | uint32_t(entry[2] & 0x3F) << 16;
    flags = entry[2] & 0xC0u;
}

int ReadIszImage(image::ImageContext& ctx) {
    ctx.chunkTable.Reset();
    if (ReadIszTable(ctx) == 0) return 0;
    ctx.chunkTable.Reset();
    return -1;
}

int OpenIszImage(image::ImageContext& ctx) {
    if (ReadIszImage(ctx) == 0 && image::ProbeFileSystem(ctx, kIszFormat) == 0) return 0;
    ctx.chunkTable.Reset();
    ctx.endSector = 0;
    ctx.formatCode = image::format_code::kUnknown;
    return -1;
}

}  // namespace containers
