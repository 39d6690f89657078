#pragma once
// File-system probing of one candidate layout: the volume descriptors from
// sector 16 of the session on, then the other file systems in a fixed order,
// and ISO 9660 last.

#include <cstdint>
#include <span>

#include "image/iso/volume_descriptor.h"

namespace image {

struct ImageContext;

// Probes the layout of `code` (geometry already set): 0 when a file system was
// found (format code = code), -1 otherwise (format code -1).
int ProbeFileSystem(ImageContext& ctx, int32_t code);

// Results of ExamineVolumeDescriptor.
constexpr int kDescriptorPrimary = 1;
constexpr int kDescriptorJoliet = 2;
constexpr int kDescriptorBootRecord = 3;
constexpr int kDescriptorTerminator = 4;
constexpr int kDescriptorOther = -1;

// Takes a descriptor read from `sector` into the document.
int ExamineVolumeDescriptor(ImageContext& ctx, int32_t sector, DescriptorBytes d);

// Reads one 2048-byte user-data sector for the probe, by the layout of `code`.
// False when it cannot be read (or lies before the start of the file).
bool ReadProbeSector(ImageContext& ctx, int32_t code, int32_t sector,
                     std::span<uint8_t, kIsoSectorBytes> out);

}  // namespace image
