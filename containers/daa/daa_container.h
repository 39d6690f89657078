#pragma once
// DAA/HXI images: a 76-byte header, typed descriptor records (volumes, volume
// sizes, password check, comment), a chunk table and the chunks: the image's
// 2048-byte sectors cut into chunks of a fixed size, each compressed with the
// deflate variant or LZMA86 (or stored) and ending in its CRC-32. HXI is the
// same format under a second magic with a few masks of its own. A file may be
// split into volume files and protected by a password.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "codecs/chunk_cache.h"
#include "containers/daa/daa_password.h"
#include "containers/sfx/sfx_settings.h"
#include "containers/volume_set_writer.h"
#include "foundation/file_io.h"

namespace image {
struct ImageContext;
}
namespace codecs {
struct DeflateDecoder;
}
namespace foundation {
struct ProgressCallbacks;
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
constexpr uint32_t kRecordEnd = 5;
constexpr uint32_t kRecordTrailer = 6;
constexpr size_t kEndRecordBytes = 28;
constexpr size_t kTrailerBytes = 20;
constexpr uint64_t kMinEndRecordFile = 65536;   // an end record is looked for only in larger files
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

    bool endRecord = false;            // the file ends in an end record (self-extracting)
    SfxSettingsOwner sfx;              // its entry table
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
    uint32_t lzmaHeaderChunk = UINT32_MAX;   // the chunk the shared LZMA header came from
    std::mutex writeLock;             // chunks are compressed on several threads

    // Output files, volume 0 first: each comes from the opener (a new file
    // for its final name, owned by the opener's caller).
    VolumeSetWriter output;
    std::vector<OutputVolume>& outs() { return output.Volumes(); }
    const std::vector<OutputVolume>& outs() const { return output.Volumes(); }
    bool split = false;
    uint64_t volumeLimit = 0;         // bytes per volume file, 0 for no limit
    uint32_t volumeSlots = 1;
    std::vector<uint8_t> stub;        // the stub program of self-extracting output
    uint64_t entryTablePosition = 0;
    uint64_t entryTableBytes = 0;

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

// The end record at the end of volume 0 (of a file of `size` bytes) is no
// part of the joint address space: its 28 bytes, or 0.
inline uint64_t VolumeZeroTrailer(const DaaContainer& c, uint64_t size) {
    return c.endRecord && size >= daa::kEndRecordBytes ? daa::kEndRecordBytes : 0;
}

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
// The same found on disk whatever its case, or the program x.part01.exe of a
// self-extracting set; the name as made when neither is there.
std::u16string LocateFirstDaaVolume(std::u16string_view path);
bool IsDaaVolumeHeader(const uint8_t* bytes, size_t length);
// The name of the whole image: volume 0's name without its volume part, with
// the extension "daa" ("x.part01.daa", "x.part001.daa" and "x.daa" all give
// "x.daa"). The image's name unchanged when it is too short for its style.
std::u16string GetDaaArchiveName(const DaaContainer& c);
// True when every volume of the image can be opened for reading; a volume
// that is not where its name says is asked for (RequestVolume), and the name
// answered is kept.
bool OpenDaaVolumes(DaaContainer& c);

}  // namespace containers

namespace image {
// The document's reader slot holds the container itself.
struct DaaContainerState : containers::DaaContainer {};
}  // namespace image

namespace containers {

// The writer family the sector writer drives for DAA output (one per process).
image::IContainerWriterFamily& DaaWriterFamily();

using DaaOutputOpener = VolumeOpener;

// The name of volume 0 of a split image saved under `path`: "x.daa" becomes
// x.part01.daa (style 0), x.part001.daa (style 1) or stays x.daa (style 2); a
// name without the extension daa, hxi or exe gets "daa".
std::u16string GetDaaFirstVolumeName(std::u16string_view path, int32_t style);

// Creates the document's DAA writer for the image of ctx.sectorCount sectors;
// every output file (each volume of split output) comes from opener. False
// with the error text set when the options cannot be written.
bool CreateDaaWriter(image::ImageContext& ctx, std::u16string_view path, DaaOutputOpener opener);

// Builds the document's image and writes it as DAA to path (or its volumes)
// through opener. 1 saved, 0 cancelled, -1 failed (the error has been shown).
int SaveDaaImage(image::ImageContext& ctx, std::u16string_view path, DaaOutputOpener opener,
                 foundation::ProgressCallbacks* progress);

// The image core's DAA open: attaches the container as the document's reader
// and probes the file system inside. 0 attached, -1 not a readable DAA/HXI
// image (the password flags of the document say when a password stopped it).
int AttachDaaContainer(image::ImageContext& ctx);

}  // namespace containers
