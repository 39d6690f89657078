#pragma once
// Reading an MZP archive: the header and records (volumes, comment, the end
// record of a self-extracting file), the chunk table, and sectors through the
// decoded-chunk cache. Every length and count from the file is checked against
// the file before it sizes anything.

#include <cstdint>
#include <string_view>

#include "containers/mzp/mzp_container.h"

namespace containers {

// A new container for the archive in `file` (borrowed; stays open for the
// container's life), or null when it is no MZP archive or is damaged. An
// encrypted archive asks for its password (foundation::AskPassword; the text
// given lands in ctx.outputPassword) and sets passwordRefused without one.
MzpContainer* OpenMzp(image::ImageContext& ctx, std::u16string_view path, platform::FileHandle file);
void CloseMzp(MzpContainer* container);

// Keys the schedule by the archive's encryption type. 0 for a text longer
// than 256 bytes or an unknown type, else 1.
int SetMzpPassword(MzpContainer& c, const char* password);

// The decoded bytes of chunk n, or null (lastError says why). Caller holds c.lock.
const uint8_t* GetMzpChunk(MzpContainer& c, uint64_t n);
// One 2048-byte sector: 0, or -1.
int CopyMzpSector(MzpContainer& c, uint32_t sector, uint8_t* destination);

}  // namespace containers
