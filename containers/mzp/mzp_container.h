#pragma once
// The open MZP archive (reader) and the MZP being written (writer): one record
// per document slot (ImageContext::mzpReader / mzpWriter). A lock per record:
// the virtual drive reads from several threads at once.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "codecs/aes.h"
#include "codecs/chunk_cache.h"
#include "containers/mzp/chunk_archive.h"
#include "containers/mzp/mzp_format.h"
#include "containers/mzp/stored_chunk.h"
#include "containers/sfx/sfx_settings.h"
#include "foundation/file_io.h"

namespace image {
struct ImageContext;
}

namespace containers {

struct MzpVolume {
    std::u16string path;               // known once derived
    foundation::UniqueFile file;       // null while closed (or borrowed: see borrowed)
    platform::FileHandle borrowed = nullptr;   // volume 0 of a reader: the document's own handle
    uint64_t size = 0;                 // the volume file's size
    uint64_t shareStart = 0;           // first archive offset this volume holds
    uint64_t shareBytes = 0;           // archive bytes it holds
    uint64_t dataOffset = 0;           // where they begin in the file (0, or 100 for later volumes)
    platform::FileHandle Handle() const { return borrowed ? borrowed : file.get(); }
};

struct MzpWriter;   // mzp_writer.cpp

struct MzpContainer : ChunkArchive {
    std::mutex lock;
    image::ImageContext* ctx = nullptr;

    std::vector<MzpVolume> volumes;
    int32_t namingStyle = 0;
    bool multiVolume = false;
    uint64_t base = 0;
    bool selfExtracting = false;
    SfxSettingsOwner sfx;              // the entry table of a self-extracting file

    mzp::Header header;

    std::u16string comment;            // empty when none
    std::string commentBytes;          // as stored (archive code page)
    bool passwordRefused = false;

    std::unique_ptr<MzpWriter> writer;

    MzpContainer();
    ~MzpContainer();
};

// Archive bytes at `offset` across the volumes; false on a failed or short read.
bool ReadMzpArchive(MzpContainer& c, uint64_t offset, uint8_t* out, size_t n);

}  // namespace containers

namespace image {
// The document's opaque slot type is the container itself.
struct MzpContainerState : containers::MzpContainer {};
}  // namespace image
