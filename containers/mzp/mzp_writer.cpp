#include "containers/mzp/mzp_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "codecs/deflate_chain.h"
#include "containers/lzma86/lzma86.h"
#include "containers/mzp/chunk_table.h"
#include "containers/sfx/sfx_settings.h"
#include "containers/sfx/sfx_stub.h"
#include "foundation/byte_order.h"
#include "foundation/operation_status.h"
#include "foundation/settings.h"
#include "foundation/volume_set_services.h"
#include "image/document/image_context.h"
#include "image/sectors/writer_switches.h"
#include "platform/thread_priority.h"

namespace containers {

using namespace mzp;

struct MzpWriter {
    int32_t level = 0;
    bool hoist = true;
    bool tableAtEnd = false;
    bool split = false;
    uint64_t volumeLimit = 0;
    uint32_t maxVolumes = 1;
    bool sfx = false;
    std::vector<uint8_t> commentChain;    // the comment as a deflate-variant chain, empty when none
    std::vector<uint8_t> stub;            // the stub program, self-extracting output only
    SfxSettings sfxSettings;

    VolumeSetWriter output;
    std::vector<OutputVolume>& outs() { return output.Volumes(); }
    const std::vector<OutputVolume>& outs() const { return output.Volumes(); }
    uint64_t tableBytes = 0;
    // Chunks are compressed on several threads: what they leave in the
    // header (the CRCs of chunks 0 and 1, the hoisted LZMA header) is set
    // under this lock.
    std::mutex chunkLock;
    uint32_t crc0 = 0, crc1 = 0;
    bool prefixTaken = false;
    std::array<uint8_t, 6> prefix{};
    std::vector<uint8_t> trailing;
    uint32_t trailingStored = 0;
    bool trailingCompressed = false;
    uint32_t entryTableOffset = 0;
    uint32_t entryTableLength = 0;
    bool failed = false;
};

MzpContainer::MzpContainer() = default;
MzpContainer::~MzpContainer() = default;

namespace {

constexpr uint32_t kChunkLevel0 = 64 * 1024;
constexpr uint32_t kChunkLevel1 = 512 * 1024;
constexpr uint32_t kChunkLevel2 = 4 * 1024 * 1024;
constexpr uint32_t kMaxChunkUnits = 0xFFF;
constexpr uint32_t kOffsetLimit = 1u << 24;

using foundation::Refuse;

MzpContainer* WriterOf(image::ImageContext& ctx) { return ctx.mzpWriter.get(); }

std::array<uint8_t, kVolumeRecordBytes> VolumeRecord(const MzpWriter& w, size_t index, uint32_t count) {
    std::array<uint8_t, kVolumeRecordBytes> r{};
    foundation::WriteLE32(&r[0], record::kVolume);
    foundation::WriteLE32(&r[4], uint32_t(kVolumeRecordBytes));
    foundation::WriteLE32(&r[8], count);
    foundation::WriteLE32(&r[12], uint32_t(index));
    uint64_t before = 0;
    for (size_t i = 0; i < index; ++i) before += w.outs()[i].size;
    foundation::WriteLE64(&r[32], before);
    foundation::WriteLE64(&r[40], w.outs()[index].size);
    foundation::WriteLE32(&r[48], uint32_t(w.maxVolumes == 999 ? 1 : 0));
    return r;
}

std::vector<uint8_t> VolumeSizesRecord(const MzpWriter& w) {
    std::vector<uint8_t> r(16 + 5 * size_t(w.maxVolumes), 0);
    foundation::WriteLE32(&r[0], record::kVolumeSizes);
    foundation::WriteLE32(&r[4], uint32_t(r.size()));
    foundation::WriteLE32(&r[8], uint32_t(w.outs().size()));
    foundation::WriteLE32(&r[12], 1);
    for (size_t i = 0; i < w.outs().size(); ++i) {
        foundation::WriteLE32(&r[16 + 5 * i], uint32_t(w.outs()[i].size));
        r[16 + 5 * i + 4] = uint8_t(w.outs()[i].size >> 32);
    }
    return r;
}

bool Append(MzpContainer& c, const uint8_t* bytes, size_t n) { return c.writer->output.Append(bytes, n); }

bool ReadStub(MzpWriter& w) {
    std::optional<std::vector<uint8_t>> stub = ReadSfxStub();
    if (!stub) return false;
    w.stub = std::move(*stub);
    return true;
}

bool BeginMzpWrite(MzpContainer& c) {
    MzpWriter& w = *c.writer;
    uint64_t at = 0;
    if (w.sfx) {
        // Stub, entry table, zero padding to a 1024-byte boundary. The file
        // is a program: executable as the user's mask allows.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(platform::FileDescriptor(w.outs()[0].file), 0755 & ~mask) != 0) return false;
        if (!WriteVolumeAt(w.outs()[0], 0, w.stub.data(), w.stub.size())) return false;
        w.entryTableOffset = uint32_t(w.stub.size());
        const std::vector<uint8_t> table = BuildEntryTable(w.sfxSettings);
        w.entryTableLength = uint32_t(table.size());
        if (!WriteVolumeAt(w.outs()[0], w.entryTableOffset, table.data(), table.size())) return false;
        const uint64_t end = w.entryTableOffset + uint64_t(table.size());
        c.base = (end + kSfxAlignment - 1) / kSfxAlignment * kSfxAlignment;
        const std::vector<uint8_t> zeros(size_t(c.base - end), 0);
        if (!WriteVolumeAt(w.outs()[0], end, zeros.data(), zeros.size())) return false;
        at = c.base;
    }
    std::vector<uint8_t> area(kHeaderBytes, 0);
    std::memcpy(area.data(), "MZP", 3);
    foundation::WriteLE32(&area[16], c.header.headerLength);
    if (w.split) {
        const std::array<uint8_t, kVolumeRecordBytes> volume{};
        area.insert(area.end(), volume.begin(), volume.end());
        foundation::WriteLE32(&area[kHeaderBytes], record::kVolume);
        foundation::WriteLE32(&area[kHeaderBytes + 4], uint32_t(kVolumeRecordBytes));
        w.outs()[0].size = 0;
        const std::vector<uint8_t> sizes = VolumeSizesRecord(w);
        area.insert(area.end(), sizes.begin(), sizes.end());
    }
    if (!w.commentChain.empty()) {
        const size_t r = area.size();
        area.resize(r + 12, 0);
        foundation::WriteLE32(&area[r], record::kComment);
        foundation::WriteLE32(&area[r + 4], uint32_t(12 + w.commentChain.size()));
        area.insert(area.end(), w.commentChain.begin(), w.commentChain.end());
    }
    if (w.sfx) {
        const size_t r = area.size();
        area.resize(r + kEndRecordBytes, 0);
        foundation::WriteLE32(&area[r], record::kEnd);
        foundation::WriteLE32(&area[r + 4], uint32_t(kEndRecordBytes));
        foundation::WriteLE32(&area[r + 12], w.entryTableOffset);
        foundation::WriteLE32(&area[r + 16], w.entryTableLength);
        foundation::WriteLE32(&area[r + 20], uint32_t(c.base));
    }
    if (area.size() != c.header.headerLength) return false;
    w.outs()[0].size = at;
    if (!Append(c, area.data(), area.size())) return false;
    if (c.header.encryption != 0 &&
        (codecs::AesSetKey(c.key, c.ctx->outputPassword.data(), 32) != 0)) return false;
    c.coding.key = c.header.encryption != 0 ? &c.key : nullptr;
    if (!w.tableAtEnd) {
        const std::vector<uint8_t> zeros(size_t(w.tableBytes), 0);
        if (!Append(c, zeros.data(), zeros.size())) return false;
    }
    return true;
}

int FinishMzpWrite(MzpContainer& c) {
    MzpWriter& w = *c.writer;
    if (w.sfx) {
        uint8_t end[kEndRecordBytes] = {};
        foundation::WriteLE32(end, record::kEnd);
        foundation::WriteLE32(end + 4, uint32_t(kEndRecordBytes));
        foundation::WriteLE32(end + 12, w.entryTableOffset);
        foundation::WriteLE32(end + 16, w.entryTableLength);
        foundation::WriteLE32(end + 20, uint32_t(c.base));
        if (!WriteVolumeAt(w.outs().back(), w.outs().back().size, end, sizeof end)) return -1;
    }
    uint64_t archiveSize = 0;
    for (const auto& out : w.outs()) archiveSize += out.size;
    Header& h = c.header;
    h.offsetField = (w.tableAtEnd ? (h.headerLength | kTableAtEnd) : uint32_t(h.headerLength + w.tableBytes)) |
                    kWriterOffsetBits | (((w.crc0 - w.crc1) >> 24) & 1) << 24;
    h.flags = (c.chunkSize / kChunkUnit) | (((w.crc0 + w.crc1) >> 12) & 1) << 12 | kWriterFlagBits;
    h.flags &= ~(kFlagTableCompressed | kFlagHoistedPrefix | (3u << 23));
    if (w.tableAtEnd && w.trailingCompressed) {
        h.flags |= kFlagTableCompressed;
        h.compressedTableSize = w.trailingStored;
    }
    if (w.prefixTaken && w.hoist) {
        h.flags |= kFlagHoistedPrefix;
        h.prefix = w.prefix;
    }
    h.flags |= uint32_t(c.coding.deflateVariant & 3) << 23;
    h.archiveSize = archiveSize;
    const auto bytes = BuildHeader(h);
    if (!WriteVolumeAt(w.outs()[0], c.base, bytes.data(), bytes.size())) return -1;
    if (w.split) {
        const uint32_t count = uint32_t(w.outs().size());
        for (size_t i = 0; i < w.outs().size(); ++i) {
            const auto rec = VolumeRecord(w, i, i == 0 ? count : uint32_t(i + 1));
            const uint64_t at = i == 0 ? c.base + kHeaderBytes : kVolumeHeaderBytes;
            if (platform::FileWriteAt(w.outs()[i].file, at, rec.data(), rec.size()) != int64_t(rec.size())) return -1;
        }
        const std::vector<uint8_t> sizes = VolumeSizesRecord(w);
        if (platform::FileWriteAt(w.outs()[0].file, c.base + kHeaderBytes + kVolumeRecordBytes, sizes.data(),
                                  sizes.size()) != int64_t(sizes.size()))
            return -1;
    }
    if (!w.tableAtEnd && !w.output.Rewrite(c.base + h.headerLength, c.table.data(), c.table.size())) return -1;
    return 0;
}

class Family final : public image::IContainerWriterFamily {
public:
    bool Create(image::ImageContext& ctx) override {
        if (ctx.mzpWriter) return true;
        // Without a prepared writer: one file, the document's output handle.
        platform::FileHandle out = ctx.outputHandle.get();
        if (!out) return false;
        return CreateMzpWriter(ctx, ctx.writingPath, [out](std::u16string_view) { return out; });
    }
    bool Begin(image::ImageContext& ctx, const image::WriterArguments&) override {
        MzpContainer* c = WriterOf(ctx);
        return c && BeginMzpWrite(*c);
    }
    void Free(image::ImageContext& ctx) override { ctx.mzpWriter.Reset(); }
    bool Attached(const image::ImageContext& ctx) const override { return bool(ctx.mzpWriter); }
    uint32_t ChunkSectors(const image::ImageContext& ctx) const override {
        return ctx.mzpWriter ? ctx.mzpWriter->sectorsPerChunk : 0;
    }
    uint32_t ContainerFormat(const image::ImageContext&) const override { return kVersion; }
    int64_t CompressChunk(image::ImageContext& ctx, uint32_t chunkIndex, const uint8_t* sectors, size_t length,
                          uint8_t* output, uint32_t& type) override {
        MzpContainer* c = WriterOf(ctx);
        if (!c) return -1;
        MzpWriter& w = *c->writer;
        CompressedChunk result;
        const size_t capacity = length + kChunkSlack + kLzma86HeaderBytes;
        // Each call has its own scratch; the coding and key are only read.
        ChunkWork work;
        if (!containers::CompressChunk(c->coding, w.level != 0, sectors, length, output, capacity, result, work))
            return -1;
        std::lock_guard<std::mutex> hold(w.chunkLock);
        if (result.lzmaHeaderTaken) {
            std::array<uint8_t, 6> prefix;
            std::memcpy(prefix.data(), result.header.data(), prefix.size());
            // The reader rebuilds every hoisted header from the first one;
            // they are all alike, so the order the threads finish in does not
            // change what is kept.
            if (w.prefixTaken && prefix != w.prefix) return -1;
            w.prefix = prefix;
            w.prefixTaken = true;
        }
        if (chunkIndex == 0) w.crc0 = result.crc;
        if (chunkIndex == 1) w.crc1 = result.crc;
        type = result.type;
        return int64_t(result.skip + result.stored);
    }
    bool ConcurrentChunks(const image::ImageContext&) const override { return true; }
    bool WriteData(image::ImageContext& ctx, const uint8_t* bytes, size_t length) override {
        MzpContainer* c = WriterOf(ctx);
        if (!c || !Append(*c, bytes, length)) return false;
        ctx.bytesWritten += int64_t(length);
        return true;
    }
    void SetChunkSize(image::ImageContext& ctx, uint32_t chunkIndex, uint32_t storedLength) override {
        MzpContainer* c = WriterOf(ctx);
        if (!c) return;
        const uint32_t less = c->header.encryption != 0 ? 6 : 5;
        const uint64_t value = storedLength >= less ? storedLength - less : 0;
        if (storedLength < less || (c->lengthBits < 64 && value >> c->lengthBits) != 0) c->writer->failed = true;
        SetPackedBits(c->table, uint64_t(chunkIndex) * (c->lengthBits + c->typeBits), c->lengthBits, value);
    }
    void SetChunkType(image::ImageContext& ctx, uint32_t chunkIndex, uint32_t type) override {
        MzpContainer* c = WriterOf(ctx);
        if (!c || c->typeBits == 0) return;
        SetPackedBits(c->table, uint64_t(chunkIndex) * (c->lengthBits + c->typeBits) + c->lengthBits, c->typeBits,
                      type);
    }
    std::vector<uint8_t>* TrailingBlock(image::ImageContext& ctx) override {
        MzpContainer* c = WriterOf(ctx);
        if (!c || !c->writer->tableAtEnd) return nullptr;
        c->writer->trailing = c->table;
        c->writer->trailingCompressed = image::WriterSwitchC.load();
        return &c->writer->trailing;
    }
    bool ScrambleTrailingBlock(const image::ImageContext&) const override { return false; }
    void SetTrailingStoredLength(image::ImageContext& ctx, uint32_t length) override {
        if (MzpContainer* c = WriterOf(ctx)) c->writer->trailingStored = length;
    }
    void ClearPending(image::ImageContext&) override {}
    int Finish(image::ImageContext& ctx) override {
        MzpContainer* c = WriterOf(ctx);
        if (!c || c->writer->failed) return -1;
        return FinishMzpWrite(*c);
    }
};

void FreeWriter(image::MzpContainerState* state) { delete static_cast<MzpContainer*>(state); }

}  // namespace

MzpWriterOptions& MzpOptions() {
    static MzpWriterOptions options;
    return options;
}

bool CreateMzpWriter(image::ImageContext& ctx, std::u16string_view firstPath, VolumeOpener opener) {
    // The save gives way to the user's other work unless told to run at
    // normal priority (Status flag 0x20000).
    if (!(foundation::GetStatusFlags() & foundation::kStatusNormalPriority)) platform::LowerCurrentThreadPriority();
    const MzpWriterOptions options = MzpOptions();
    auto state = std::make_unique<image::MzpContainerState>();
    MzpContainer& c = *state;
    c.ctx = &ctx;
    c.writer = std::make_unique<MzpWriter>();
    MzpWriter& w = *c.writer;
    w.level = std::clamp(ctx.compressionLevel, 0, 2);
    w.hoist = image::WriterSwitchH.load();
    w.sfx = ctx.selfExtracting != 0;
    w.split = ctx.splitOutput != 0;
    // Level 0, split and self-extracting output keep the table behind the
    // header: at the end it could not be found again.
    w.tableAtEnd = image::WriterSwitchE.load() && w.level != 0 && !w.split && !w.sfx;

    const size_t passwordLength = strnlen(ctx.outputPassword.data(), ctx.outputPassword.size());
    if (ctx.passwordEnabled && passwordLength > 256) {
        Refuse(u"The password is too long.");
        return false;
    }
    c.header.encryption = ctx.passwordEnabled && passwordLength > 0 ? 3 : 0;
    c.coding.encryptionType = c.header.encryption;
    c.coding.hoisted = w.hoist;
    c.coding.deflateVariant = options.deflateVariant & 3;
    c.header.level = uint8_t(w.level);

    uint32_t chunk = w.level == 0 ? kChunkLevel0 : w.level == 1 ? kChunkLevel1 : kChunkLevel2;
    if (options.chunkSizeOverride != 0 && w.level != 0 && !w.split) chunk = options.chunkSizeOverride;
    if (chunk == 0 || chunk % kChunkUnit != 0 || chunk / kChunkUnit > kMaxChunkUnits) {
        Refuse(u"The chunk size must be a multiple of 16 KB below 64 MB.");
        return false;
    }
    c.chunkSize = chunk;
    c.sectorsPerChunk = chunk / 2048;
    const uint32_t needed = BitWidth(chunk - 1);
    c.lengthBits = options.lengthBitsOverride != 0 ? options.lengthBitsOverride : needed;
    // A stored chunk may be the chunk plus its CRC and padding: L must hold it.
    if (c.lengthBits < needed || c.lengthBits > 32) {
        Refuse(u"The length bits cannot hold a chunk of this size.");
        return false;
    }
    c.typeBits = options.typeBitsOverride >= 0 ? uint32_t(options.typeBitsOverride) : 1;
    // Without type bits every chunk reads as LZMA: deflate and plain chunks would be misread.
    if (c.typeBits == 0 || c.typeBits > 7) {
        Refuse(u"The type bits must be 1 to 7.");
        return false;
    }
    c.header.bitsByte = uint8_t(c.typeBits | (options.lengthBitsOverride != 0 ? (c.lengthBits - 10) << 3 : 0));

    const int64_t sectors = ctx.endSector;
    if (sectors <= 0) {
        Refuse(u"Nothing to write.");
        return false;
    }
    c.totalSectors = uint64_t(sectors);
    c.header.size = c.totalSectors * 2048;
    c.chunkCount = (c.header.size + chunk - 1) / chunk;
    c.lastChunkSize = c.header.size % chunk == 0 ? chunk : uint32_t(c.header.size % chunk);
    w.tableBytes = PackedTableBytes(c.chunkCount, c.lengthBits + c.typeBits);
    try {
        c.table.assign(size_t(w.tableBytes), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }

    uint64_t headerLength = kHeaderBytes;
    if (w.split) {
        c.namingStyle = ctx.volumeNamingStyle;
        w.maxVolumes = MaxVolumes(c.namingStyle);
        w.volumeLimit = uint64_t(ctx.volumeSize);
        if (c.namingStyle != 0 && c.namingStyle != 1) {
            Refuse(u"Unknown volume naming style.");
            return false;
        }
        if (w.sfx) {
            Refuse(u"A self-extracting archive cannot be split into volumes.");
            return false;
        }
        headerLength += kVolumeRecordBytes + 16 + 5 * uint64_t(w.maxVolumes);
    }
    if (ctx.archiveCommentPresent && !ctx.archiveComment.empty()) {
        const size_t n = std::min<size_t>(ctx.archiveComment.size(), kMaxCommentBytes);
        w.commentChain.resize(n + 65536 + 64);
        const int64_t packed = codecs::DeflateCompressBuffer(reinterpret_cast<const uint8_t*>(ctx.archiveComment.data()),
                                                             w.commentChain.data(), n, w.commentChain.size());
        if (packed < 0) return false;
        w.commentChain.resize(size_t(packed));
        headerLength += 12 + w.commentChain.size();
    }
    if (w.sfx) {
        if (!ReadStub(w)) {
            Refuse(u"The self-extracting stub Quendravine.SFX cannot be read from the install folder.");
            return false;
        }
        headerLength += kEndRecordBytes;
    }
    c.header.headerLength = uint32_t(headerLength);
    // The first chunk's offset has 24 bits.
    if (headerLength + (w.tableAtEnd ? 0 : w.tableBytes) >= kOffsetLimit) {
        Refuse(u"The image is too large for this chunk size.");
        return false;
    }
    if (w.split && (w.volumeLimit <= headerLength + w.tableBytes || w.volumeLimit <= kLaterVolumeArea)) {
        Refuse(u"The volume size is too small.");
        return false;
    }
    std::u16string first(firstPath);
    if (w.split) {
        auto name = GetMzpVolumeName(firstPath, c.namingStyle);
        if (!name) return false;
        first = *name;
    }
    VolumeSetLayout layout;
    layout.split = w.split;
    layout.limit = w.volumeLimit;
    layout.maxVolumes = w.maxVolumes;
    layout.laterAreaBytes = kLaterVolumeArea;
    layout.nameOf = [&c](uint32_t index) {
        return MzpVolumeNameAt(c.writer->outs()[0].path, c.namingStyle, index);
    };
    // The volume record is filled in when the archive is finished.
    layout.laterArea = [](uint32_t) {
        const auto head = BuildVolumeHeader();
        std::vector<uint8_t> area(head.begin(), head.end());
        area.resize(kLaterVolumeArea, 0);
        return area;
    };
    if (!w.output.Open(first, std::move(opener), std::move(layout))) return false;
    ctx.mzpWriter.Attach(state.release(), FreeWriter);
    return true;
}

image::IContainerWriterFamily& MzpWriterFamily() {
    static Family family;
    return family;
}

std::vector<std::u16string> MzpWrittenVolumes(const image::ImageContext& ctx) {
    std::vector<std::u16string> names;
    if (ctx.mzpWriter && ctx.mzpWriter->writer)
        for (const auto& out : ctx.mzpWriter->writer->outs()) names.push_back(out.path);
    return names;
}

}  // namespace containers
