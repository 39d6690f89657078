#pragma once
// DAA/HXI images: a 76-byte header, typed descriptor records (volumes, volume
// sizes, password check, comment), a chunk table and the chunks: the image's
// 2048-byte sectors cut into chunks of a fixed size, each compressed with the
// deflate variant or LZMA86 (or stored) and ending in its CRC-32. HXI is the
// same format under a second magic with a few masks of its own. A file may be
// split into volume files and protected by a password.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "codecs/chunk_cache.h"
#include "containers/daa/daa_password.h"
#include "foundation/file_io.h"

namespace image {
struct ImageContext;
}
namespace codecs {
struct DeflateDecoder;
}
namespace image {
class IContainerWriterFamily;
}

namespace containers {

namespace daa {
constexpr size_t kHeaderBytes = 76;
constexpr uint32_t kFormat100 = 0x100;
constexpr uint32_t kFormat110 = 0x110;
// Flags of the chunk-size field (+36) of format 0x110.
constexpr uint32_t kFlagMaskedSize = 0x2000;
constexpr uint32_t kFlagCompressedTable = 0x4000;
constexpr uint32_t kFlagTableMask = 0x20000;
constexpr uint32_t kFlagStubKey = 0x80000;
constexpr uint32_t kFlagSharedLzmaHeader = 0x100000;
constexpr uint32_t kFlagAdditiveMask = 0x8000000;
// Flags of the data-offset field (+24) of format 0x110.
constexpr uint32_t kOffsetAllType1 = 1u << 28;
constexpr uint32_t kOffsetTableAtEnd = 1u << 31;
constexpr uint32_t kDataOffsetMask = 0xFFFFFF;
// Descriptor record types.
constexpr uint32_t kRecordVolume = 1;
constexpr uint32_t kRecordVolumeSizes = 2;
constexpr uint32_t kRecordPassword = 3;
constexpr uint32_t kRecordComment = 4;
constexpr size_t kVolumeRecordBytes = 60;
constexpr uint64_t kVolumeDataOffset = 100;   // volume header (40) and volume record (60)
constexpr size_t kVolumeHeaderBytes = 40;
constexpr uint32_t kChunkLzma = 0;
constexpr uint32_t kChunkDeflate = 1;
constexpr uint64_t kMaxCommentBytes = 65536;
}  // namespace daa

// Why the last chunk read failed.
enum class DaaReadError { None = 0, Read = 1, Short = 2, Crc = 3 };

struct DaaContainer {
    image::ImageContext* image = nullptr;
    bool hxi = false;
    uint32_t format = 0;
    uint32_t flags = 0;             // of the chunk-size field
    uint64_t chunkSize = 0;
    uint32_t sectorsPerChunk = 0;
    uint64_t imageSize = 0;
    uint64_t sectorCount = 0;
    uint64_t totalDataSize = 0;
    int32_t compressionLevel = 0;
    uint32_t headerCrc = 0;
    uint64_t headerPosition = 0;
    uint64_t dataOffset = 0;
    uint64_t chunkCount = 0;
    uint64_t lastChunkSize = 0;
    // Format 0x110 table settings.
    uint32_t lengthBits = 0;
    uint32_t typeBits = 0;
    bool allType1 = false;
    bool tableMasked = false;
    bool sharedLzmaHeader = false;
    std::array<uint8_t, 6> lzmaHeader{};
    int32_t variant = 0;
    std::vector<uint8_t> table;       // the table bytes, 8 bytes of padding behind them
    std::vector<uint64_t> offsets;    // chunk i's stored bytes in the joint address space; one more at the end

    // Volumes (a single file is volume 0 of 1).
    bool multiVolume = false;
    int32_t namingStyle = 0;
    std::vector<std::u16string> volumeNames;
    std::vector<uint64_t> volumeStarts;   // in the joint address space
    std::vector<uint64_t> volumeSizes;    // file sizes
    foundation::UniqueFile volumeFile;    // the later volume read last
    int32_t volumeFileIndex = -1;

    bool passwordRefused = false;
    bool formatUnsupported = false;
    DaaNibbleTables password;          // empty without a password
    DaaReadError lastError = DaaReadError::None;

    codecs::ChunkCacheOwner cache;
    std::vector<uint8_t> work;         // one stored chunk, 14 bytes free in front
    std::vector<uint8_t> plain;        // the stored chunk unscrambled
    std::unique_ptr<codecs::DeflateDecoder> decoder;
    std::mutex lock;

    // Writing.
    uint64_t headerAreaBytes = 0;     // header and records before the table
    uint64_t writePosition = 0;       // of the next chunk in the output file
    bool deflateOnly = false;
    bool tableAtEnd = false;
    bool compressedTable = false;
    uint32_t trailingStoredLength = 0;
    bool anyLzmaChunk = false;
    std::array<uint32_t, 2> chunkCrcs{};
    std::vector<uint8_t> comment;     // the comment record, empty for none
    std::string writePassword;
    std::vector<uint8_t> scratch;     // the deflate result beside the LZMA one
    std::vector<uint8_t> trailing;    // the table as it goes after the last chunk

    DaaContainer();
    ~DaaContainer();
};

// Reads the header and records of the document's file into a new container.
// False when the file is no DAA/HXI image or its header or tables are
// damaged; true with passwordRefused or formatUnsupported set when it cannot
// be read for that reason.
bool OpenDaaContainer(image::ImageContext& ctx, DaaContainer& container);

// The bytes of the first record of `type` (its own size, at most maxBytes)
// between the header at `position` and the chunk table: empty when there is
// none; nothing when the records cannot be walked (a size below 8, a record
// past the end, a failed read).
std::optional<std::vector<uint8_t>> ReadDaaDescriptor(platform::FileHandle file, uint32_t type, uint64_t position,
                                                      size_t maxBytes);

uint64_t GetDaaChunkStoredLength(const DaaContainer& c, uint64_t i);
uint32_t GetDaaChunkType(const DaaContainer& c, uint64_t i);
// LSB-first bit field of the table.
uint64_t ReadDaaTableBits(const DaaContainer& c, uint64_t bitOffset, uint32_t width);

// Reads stored bytes of the joint address space, across volumes.
bool ReadDaaStored(DaaContainer& c, uint8_t* destination, uint64_t offset, uint64_t length);
// The decoded chunk (owned by the cache), null when it cannot be read.
const uint8_t* GetDaaChunk(DaaContainer& c, uint64_t chunk);
// Decodes stored bytes (at work + 14, s bytes) into destination (d bytes).
int64_t DecodeDaaChunk(DaaContainer& c, uint64_t chunk, uint8_t* stored, uint64_t s, uint8_t* destination, uint64_t d);
// Sector n into destination: 0, or -1 when its chunk cannot be read.
int CopyDaaSector(DaaContainer& c, uint64_t n, uint8_t* destination);

// Volume names: volume n of the image whose volume 0 is `name`, empty when
// the name does not fit the style; volume 0 of any volume's name.
std::u16string GetDaaVolumeName(std::u16string_view name, int32_t n, int32_t style);
std::u16string FindFirstDaaVolume(std::u16string_view name);
bool IsDaaVolumeHeader(const uint8_t* bytes, size_t length);

}  // namespace containers

namespace image {
// The document's reader slot holds the container itself.
struct DaaContainerState : containers::DaaContainer {};
}  // namespace image

namespace containers {

// The writer family the sector writer drives for DAA output (one per process).
image::IContainerWriterFamily& DaaWriterFamily();

// The image core's DAA open: attaches the container as the document's reader
// and probes the file system inside. 0 attached, -1 not a readable DAA/HXI
// image (the password flags of the document say when a password stopped it).
int AttachDaaContainer(image::ImageContext& ctx);

}  // namespace containers
