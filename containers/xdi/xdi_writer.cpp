#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/crc32.h"
#include "codecs/deflate_chain.h"
#include "containers/lzma86/lzma86.h"
#include "containers/mzp/chunk_table.h"
#include "containers/mzp/mzp_format.h"
#include "containers/volume_set_writer.h"
#include "containers/xdi/xdi_container.h"
#include "foundation/byte_order.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/volume_names.h"
#include "foundation/volume_set_services.h"
#include "image/build/image_save.h"
#include "image/build/image_build.h"
#include "image/document/image_context.h"
#include "image/iso/iso_layout.h"
#include "platform/text.h"

namespace containers {

struct XdiWriter {
    bool split = false;
    uint64_t partLimit = UINT64_MAX;
    std::vector<uint8_t> commentChain;
    VolumeSetWriter output;
    std::vector<OutputVolume>& outs() { return output.Volumes(); }
    const std::vector<OutputVolume>& outs() const { return output.Volumes(); }
    uint64_t tableBytes = 0;
    bool failed = false;
};

XdiContainer::XdiContainer() = default;
XdiContainer::~XdiContainer() = default;

namespace {

constexpr uint32_t kBlockLevel0 = 64 * 1024;
constexpr uint32_t kBlockLevel1 = 512 * 1024;
constexpr uint32_t kBlockLevel2 = 4 * 1024 * 1024;

constexpr std::u16string_view kPartExtensions[] = {u"xdi"};
constexpr foundation::VolumeStyle kPartStyles[] = {
    {foundation::VolumeNumbering::PartWord, 2, 1, kPartExtensions},
    {foundation::VolumeNumbering::PartWord, 3, 1, kPartExtensions},
};

using foundation::Refuse;

XdiContainer* WriterOf(image::ImageContext& ctx) { return ctx.xdiWriter.get(); }

std::vector<uint8_t> PartHeader(const XdiWriter& w, size_t index) {
    namespace f = xdi_part;
    std::vector<uint8_t> h(f::kBytes, 0);
    std::memcpy(&h[f::kMagic], xdi_header::kMagicText, xdi_header::kMagicBytes);
    foundation::WriteLE32(&h[f::kHeaderLength], uint32_t(f::kBytes));
    foundation::WriteLE32(&h[f::kVersion], xdi_header::kCurrentVersion);
    foundation::WriteLE32(&h[f::kMark], f::kMarkWritten);
    foundation::WriteLE32(&h[f::kDataOffset], uint32_t(f::kBytes));
    uint64_t before = 0;
    for (size_t i = 0; i < index; ++i) before += w.outs()[i].size;
    foundation::WriteLE64(&h[f::kBytesBefore], before);
    foundation::WriteLE64(&h[f::kFileBytes], w.outs()[index].size);
    foundation::WriteLE32(&h[f::kCrc], codecs::Crc32(h.data(), h.size()));
    return h;
}

bool Append(XdiContainer& c, const uint8_t* bytes, size_t n) { return c.writer->output.Append(bytes, n); }

bool BeginXdiWrite(XdiContainer& c) {
    XdiWriter& w = *c.writer;
    std::vector<uint8_t> head(c.headerLength, 0);
    std::memcpy(&head[xdi_header::kMagic], xdi_header::kMagicText, xdi_header::kMagicBytes);
    foundation::WriteLE32(&head[xdi_header::kHeaderLength], c.headerLength);
    if (!Append(c, head.data(), head.size())) return false;
    if (c.encryption != 0 && codecs::AesSetKey(c.key, c.ctx->outputPassword.data(), 32) != 0) return false;
    c.coding.key = c.encryption != 0 ? &c.key : nullptr;
    const std::vector<uint8_t> zeros(size_t(w.tableBytes), 0);
    return Append(c, zeros.data(), zeros.size());
}

int FinishXdiWrite(XdiContainer& c) {
    XdiWriter& w = *c.writer;
    uint64_t archiveSize = 0;
    for (const auto& out : w.outs()) archiveSize += out.size;
    namespace f = xdi_header;
    std::vector<uint8_t> h(c.headerLength, 0);
    std::memcpy(&h[f::kMagic], xdi_header::kMagicText, xdi_header::kMagicBytes);
    foundation::WriteLE32(&h[f::kHeaderLength], c.headerLength);
    foundation::WriteLE32(&h[f::kVersion], f::kCurrentVersion);
    foundation::WriteLE32(&h[f::kSplit], w.split ? 1 : 0);
    foundation::WriteLE32(&h[f::kFirstBlock], uint32_t(c.headerLength + w.tableBytes));
    h[f::kEncryption] = c.encryption;
    foundation::WriteLE32(&h[f::kBlockUnits], c.chunkSize / mzp::kChunkUnit);
    if (!w.commentChain.empty()) {
        foundation::WriteLE32(&h[f::kCommentOffset], uint32_t(f::kBytes));
        foundation::WriteLE32(&h[f::kCommentBytes], uint32_t(w.commentChain.size()));
        std::memcpy(&h[f::kBytes], w.commentChain.data(), w.commentChain.size());
    }
    foundation::WriteLE64(&h[f::kImageBytes], c.totalSectors * 2048);
    foundation::WriteLE64(&h[f::kArchiveBytes], archiveSize);
    h[f::kLevel] = c.level;
    h[f::kTableBits] = uint8_t(c.typeBits);
    foundation::WriteLE16(&h[f::kPartCount], w.split ? uint16_t(w.outs().size()) : 0);
    foundation::WriteLE64(&h[f::kFirstPartBytes], w.outs()[0].size);
    foundation::WriteLE32(&h[f::kCrc], codecs::Crc32(h.data(), h.size()));
    if (platform::FileWriteAt(w.outs()[0].file, 0, h.data(), h.size()) != int64_t(h.size())) return -1;
    for (size_t i = 1; i < w.outs().size(); ++i) {
        const std::vector<uint8_t> part = PartHeader(w, i);
        if (platform::FileWriteAt(w.outs()[i].file, 0, part.data(), part.size()) != int64_t(part.size())) return -1;
    }
    return w.output.Rewrite(c.headerLength, c.table.data(), c.table.size()) ? 0 : -1;
}

class Family final : public image::IContainerWriterFamily {
public:
    bool Create(image::ImageContext& ctx) override {
        if (ctx.xdiWriter) return true;
        platform::FileHandle out = ctx.outputHandle.get();
        if (!out) return false;
        return CreateXdiWriter(ctx, ctx.writingPath, [out](std::u16string_view) { return out; });
    }
    bool Begin(image::ImageContext& ctx, const image::WriterArguments&) override {
        XdiContainer* c = WriterOf(ctx);
        return c && BeginXdiWrite(*c);
    }
    void Free(image::ImageContext& ctx) override { ctx.xdiWriter.Reset(); }
    bool Attached(const image::ImageContext& ctx) const override { return bool(ctx.xdiWriter); }
    uint32_t ChunkSectors(const image::ImageContext& ctx) const override {
        return ctx.xdiWriter ? ctx.xdiWriter->sectorsPerChunk : 0;
    }
    uint32_t ContainerFormat(const image::ImageContext&) const override { return 1; }
    int64_t CompressChunk(image::ImageContext& ctx, uint32_t, const uint8_t* sectors, size_t length, uint8_t* output,
                          uint32_t& type) override {
        XdiContainer* c = WriterOf(ctx);
        if (!c) return -1;
        CompressedChunk result;
        if (!containers::CompressChunk(c->coding, c->level != 0, sectors, length, output,
                                       length + kChunkSlack + kLzma86HeaderBytes, result, c->work))
            return -1;
        type = result.type;
        return int64_t(result.skip + result.stored);
    }
    bool WriteData(image::ImageContext& ctx, const uint8_t* bytes, size_t length) override {
        XdiContainer* c = WriterOf(ctx);
        if (!c || !Append(*c, bytes, length)) return false;
        ctx.bytesWritten += int64_t(length);
        return true;
    }
    void SetChunkSize(image::ImageContext& ctx, uint32_t index, uint32_t storedLength) override {
        XdiContainer* c = WriterOf(ctx);
        if (!c) return;
        const uint32_t less = c->encryption != 0 ? 6 : 5;
        const uint64_t value = storedLength >= less ? storedLength - less : 0;
        if (storedLength < less || (value >> c->lengthBits) != 0) c->writer->failed = true;
        SetPackedBits(c->table, uint64_t(index) * (c->lengthBits + c->typeBits), c->lengthBits, value);
    }
    void SetChunkType(image::ImageContext& ctx, uint32_t index, uint32_t type) override {
        XdiContainer* c = WriterOf(ctx);
        if (!c) return;
        SetPackedBits(c->table, uint64_t(index) * (c->lengthBits + c->typeBits) + c->lengthBits, c->typeBits, type);
    }
    std::vector<uint8_t>* TrailingBlock(image::ImageContext&) override { return nullptr; }
    bool ScrambleTrailingBlock(const image::ImageContext&) const override { return false; }
    void SetTrailingStoredLength(image::ImageContext&, uint32_t) override {}
    void ClearPending(image::ImageContext&) override {}
    int Finish(image::ImageContext& ctx) override {
        XdiContainer* c = WriterOf(ctx);
        if (!c || c->writer->failed) return -1;
        return FinishXdiWrite(*c);
    }
};

void FreeWriter(image::XdiContainerState* state) { delete static_cast<XdiContainer*>(state); }

}  // namespace

std::u16string GetXdiFirstPartName(std::u16string_view path) { return foundation::FirstVolumeName(path, kPartStyles[0]); }

std::optional<std::u16string> GetXdiPartName(std::u16string_view first, uint32_t n) {
    if (n + 1 > kXdiMaxParts) return std::nullopt;
    return foundation::VolumeName(first, kPartStyles[0], n);
}

// The writer numbers parts in two digits; three are taken too, as MZP volumes.
std::u16string FindFirstXdiPart(std::u16string_view name) { return foundation::FirstVolumeOf(name, kPartStyles); }

image::IContainerWriterFamily& XdiWriterFamily() {
    static Family family;
    return family;
}

bool CreateXdiWriter(image::ImageContext& ctx, std::u16string_view firstPath,
                     std::function<platform::FileHandle(std::u16string_view)> opener) {
    auto state = std::make_unique<image::XdiContainerState>();
    XdiContainer& c = *state;
    c.ctx = &ctx;
    c.writer = std::make_unique<XdiWriter>();
    XdiWriter& w = *c.writer;
    c.level = uint8_t(std::clamp(ctx.compressionLevel, 0, 2));
    const size_t passwordLength = strnlen(ctx.outputPassword.data(), ctx.outputPassword.size());
    if (ctx.passwordEnabled && passwordLength > kXdiMaxPasswordBytes) {
        Refuse(u"The password of an XDI image is at most 64 bytes.");
        return false;
    }
    c.encryption = ctx.passwordEnabled && passwordLength > 0 ? 3 : 0;
    c.coding.encryptionType = c.encryption;
    c.version = 1;
    c.chunkSize = c.level == 0 ? kBlockLevel0 : c.level == 1 ? kBlockLevel1 : kBlockLevel2;
    c.sectorsPerChunk = c.chunkSize / 2048;
    c.lengthBits = BitWidth(c.chunkSize - 1);
    c.typeBits = 1;
    if (ctx.endSector <= 0) {
        Refuse(u"Nothing to write.");
        return false;
    }
    c.totalSectors = uint64_t(ctx.endSector);
    const uint64_t size = c.totalSectors * 2048;
    c.chunkCount = (size + c.chunkSize - 1) / c.chunkSize;
    c.lastChunkSize = size % c.chunkSize == 0 ? c.chunkSize : uint32_t(size % c.chunkSize);
    w.tableBytes = PackedTableBytes(c.chunkCount, c.lengthBits + c.typeBits);
    c.table.assign(size_t(w.tableBytes), 0);
    uint64_t headerLength = kXdiHeaderBytes;
    if (ctx.archiveCommentPresent && !ctx.archiveComment.empty()) {
        const size_t n = std::min<size_t>(ctx.archiveComment.size(), mzp::kMaxCommentBytes);
        w.commentChain.resize(n + 65536 + 64);
        const int64_t packed = codecs::DeflateCompressBuffer(reinterpret_cast<const uint8_t*>(ctx.archiveComment.data()),
                                                             w.commentChain.data(), n, w.commentChain.size());
        if (packed < 0) return false;
        w.commentChain.resize(size_t(packed));
        headerLength += w.commentChain.size();
    }
    c.headerLength = uint32_t(headerLength);
    // The first block's offset has 24 bits.
    if (headerLength + w.tableBytes >= (1u << 24)) {
        Refuse(u"The image is too large for this block size.");
        return false;
    }
    w.split = ctx.splitOutput != 0;
    if (w.split) {
        w.partLimit = uint64_t(ctx.volumeSize);
        if (w.partLimit <= headerLength + w.tableBytes || w.partLimit <= kXdiPartHeaderBytes) {
            Refuse(u"The volume size is too small.");
            return false;
        }
    }
    VolumeSetLayout layout;
    layout.split = w.split;
    layout.limit = w.partLimit;
    layout.maxVolumes = kXdiMaxParts;
    // A later part's header is written when the image is finished.
    layout.laterAreaBytes = kXdiPartHeaderBytes;
    layout.nameOf = [&c](uint32_t index) { return GetXdiPartName(c.writer->outs()[0].path, index); };
    if (!w.output.Open(firstPath, std::move(opener), std::move(layout))) return false;
    ctx.xdiWriter.Attach(state.release(), FreeWriter);
    return true;
}

int SaveXdiImage(image::ImageContext& ctx, std::u16string_view path,
                 std::function<platform::FileHandle(std::u16string_view)> opener,
                 foundation::ProgressCallbacks* progress) {
    struct Restore {
        image::ImageContext& ctx;
        int32_t end, override_;
        ~Restore() {
            ctx.endSector = end;
            ctx.endSectorOverride = override_;
            ctx.xdiWriter.Reset();
            image::FreeImageWriter(&ctx);
        }
    } restore{ctx, ctx.endSector, ctx.endSectorOverride};
    return image::SaveThroughWriter(
        ctx, path, image::format_code::kXdi,
        [&](image::ImageBuild& build) {
            // The sector writer ends the image at the end sector; the document's
            // own reads stay bounded by its own size.
            if (ctx.endSectorOverride == 0) ctx.endSectorOverride = ctx.endSector;
            ctx.endSector = int32_t(build.endSector);
            return CreateXdiWriter(ctx, path, std::move(opener));
        },
        progress);
}

}  // namespace containers
