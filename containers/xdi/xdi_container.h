#pragma once
// XDI: the 2048-byte sectors of an image cut into blocks, each compressed
// (deflate variant 0 or LZMA86 with its own header), optionally enciphered,
// with a CRC-32 per block, the MZP bit-packed table right behind the header,
// an optional comment, and optional part files. The header bytes are described
// in xdi_header_layout.h.

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
#include "containers/xdi/xdi_header_layout.h"
#include "foundation/progress_callbacks.h"
#include "image/sectors/container_services.h"

namespace image {
struct ImageContext;
}

namespace containers {

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
