#pragma once
// Reading a resource of a WIM part: stored bytes copied, or compressed chunks
// of 32 KB found through the chunk table that opens the resource and decoded
// by the part's compression kind. Every offset and size is checked against
// the part file before it is used; the decoded bytes go to a sink piece by
// piece, in order, and are hashed on the way when a hash is expected, so a
// damaged resource fails instead of counting as read.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "codecs/sha1.h"
#include "filesystems/wim/wim_layout.h"
#include "foundation/file_io.h"

namespace foundation {
struct ProgressCallbacks;
}

namespace filesystems::wim {

struct WimPart {
    foundation::FileHandle file = nullptr;   // part 1: the document's own handle
    foundation::UniqueFile owned;            // further parts
    uint64_t fileBytes = 0;
    WimHeader header;
};

enum class ReadResult { kOk, kCancelled, kDamaged, kReadFailed, kSinkFailed };

// Receives the decoded bytes in order; false stops the read (kSinkFailed).
using ResourceSink = std::function<bool(std::span<const uint8_t>)>;

struct ResourceRead {
    const codecs::Sha1Digest* expectedHash = nullptr;   // checked after the last byte when given
    foundation::ProgressCallbacks* progress = nullptr;  // polled for pause and cancel; AddDone per piece
    bool reportProgress = false;
    uint32_t decodeThreads = 0;                         // threads sharing a batch of chunks; 0: one per core
};

ReadResult ReadResource(const WimPart& part, const ResourceEntry& resource, const ResourceSink& sink,
                        const ResourceRead& how);

// The whole resource in memory; refused (kDamaged) above limitBytes.
ReadResult ReadResourceToMemory(const WimPart& part, const ResourceEntry& resource, uint64_t limitBytes,
                                std::vector<uint8_t>& out, const codecs::Sha1Digest* expectedHash);

}  // namespace filesystems::wim
