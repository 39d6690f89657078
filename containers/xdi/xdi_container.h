#pragma once
// XDI: the 2048-byte sectors of an image cut into blocks, each compressed
// (deflate variant 0 or LZMA86 with its own header), optionally enciphered,
// with a CRC-32 per block, the MZP bit-packed table right behind the header,
// an optional comment, and optional part files. Main header (65 bytes, then
// the comment):
//   0 "XDI\0"; 4 header length; 8 CRC-32 of the header with this field 0;
//   12 version (1); 16 split flag; 20 first block offset; 24 encryption;
//   25 block size in 16 KB units (bits 0-11); 29 comment offset (65 or 0);
//   33 comment bytes; 37 uint64 size; 45 uint64 archive size; 53 level;
//   54 T | (L - 10) << 3; 55 uint16 part count; 57 uint64 size of the first part file.
// Parts 2 on begin with a 40-byte header: "XDI\0", 40, CRC, 1, 3, 40,
// uint64 sum of the sizes before, uint64 size of this part.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/aes.h"
#include "codecs/chunk_cache.h"
#include "containers/mzp/mzp_container.h"
#include "containers/mzp/chunk_archive.h"
#include "containers/mzp/stored_chunk.h"
#include "foundation/progress_callbacks.h"
#include "image/sectors/container_services.h"

namespace image {
struct ImageContext;
}

namespace containers {

constexpr size_t kXdiHeaderBytes = 65;
constexpr size_t kXdiPartHeaderBytes = 40;
constexpr uint32_t kXdiMaxHeaderBytes = 0x800000;
constexpr uint32_t kXdiMaxParts = 99;
constexpr size_t kXdiMaxPasswordBytes = 64;

struct XdiWriter;

struct XdiContainer : ChunkArchive {
    std::mutex lock;
    image::ImageContext* ctx = nullptr;
    std::vector<MzpVolume> parts;       // the same mapping as MZP volumes, 40-byte part headers
    uint32_t headerLength = 0;
    uint32_t version = 0;
    uint8_t encryption = 0;
    uint8_t level = 0;
    uint64_t archiveSize = 0;
    std::string commentBytes;
    bool passwordRefused = false;
    std::unique_ptr<XdiWriter> writer;

    XdiContainer();
    ~XdiContainer();
};

// The document's reader for an XDI file: 0 attached (reads possible unless a
// password was refused or the version is newer), -1 not XDI or damaged.
int AttachXdi(image::ImageContext& ctx);
XdiContainer* OpenXdi(image::ImageContext& ctx, std::u16string_view path, platform::FileHandle file);
void CloseXdi(XdiContainer* c);
int SetXdiPassword(XdiContainer& c, const char* password);
const uint8_t* ReadXdiBlock(XdiContainer& c, uint64_t n);
int CopyXdiSector(XdiContainer& c, uint32_t sector, uint8_t* destination);

// Part names.
std::u16string GetXdiFirstPartName(std::u16string_view path);
std::optional<std::u16string> GetXdiPartName(std::u16string_view firstPart, uint32_t n);
std::u16string FindFirstXdiPart(std::u16string_view name);
bool IsXdiMagic(const uint8_t* bytes, size_t length);

// The sector writer's family for XDI output.
image::IContainerWriterFamily& XdiWriterFamily();
// A writer for ctx.endSector sectors, its files from opener; attached to ctx.xdiWriter.
bool CreateXdiWriter(image::ImageContext& ctx, std::u16string_view firstPath,
                     std::function<platform::FileHandle(std::u16string_view)> opener);
// Saves the document as an XDI image (an ISO 9660 image inside). 1 saved, 0
// cancelled, -1 failed (the user told why).
int SaveXdiImage(image::ImageContext& ctx, std::u16string_view path,
                 std::function<platform::FileHandle(std::u16string_view)> opener,
                 foundation::ProgressCallbacks* progress);

}  // namespace containers

namespace image {
struct XdiContainerState : containers::XdiContainer {};
}  // namespace image
