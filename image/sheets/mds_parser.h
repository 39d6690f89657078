#pragma once
// MDS descriptors: the track layout of MDF images (Alcohol's "MEDIA
// DESCRIPTOR" format). One session is read; later sessions are not.

#include <cstdint>
#include <span>
#include <string>

#include "image/sheets/track_list.h"

namespace image {

// Layout of the parts of an MDS file read here (little-endian).
namespace mds {
constexpr size_t kSignatureLength = 16;         // "MEDIA DESCRIPTOR"
constexpr size_t kBlockCountOffset = 98;        // first session: number of track blocks, 1 byte
constexpr size_t kFirstBlockOffset = 108;       // first session: offset of its first track block, 4 bytes
constexpr size_t kMinFileBytes = 113;           // the header up to the track-block offset
constexpr size_t kBlockBytes = 80;
// Track block fields.
constexpr size_t kModeOffset = 0;               // 1 byte: 0xA9 audio, 0xAA Mode 1, 0xAB Mode 2, 0xAC Form 1, 0xAD Form 2
constexpr size_t kSubchannelOffset = 1;         // 1 byte: sub-channel kept with each sector (0 none, 8 interleaved)
constexpr size_t kPointOffset = 4;              // 1 byte: track number (0xA0.. are lead-in entries)
constexpr size_t kMsfOffset = 9;                // 3 bytes: minute, second, frame of the start
constexpr size_t kExtraOffset = 12;             // 4 bytes: offset of the extra block (pregap, length)
constexpr size_t kSectorSizeOffset = 16;        // 2 bytes
constexpr size_t kFileRecordOffset = 52;        // 4 bytes: offset of the file-name record
constexpr size_t kExtraBytes = 8;               // pregap 4 bytes, length 4 bytes
constexpr size_t kFileRecordBytes = 4;          // offset of the name, 4 bytes
constexpr size_t kMaxNameBytes = 1023;
}  // namespace mds

TrackListPtr ParseMdsFile(const std::u16string& mdsPath);
// The same on bytes already read; mdsPath places the file the name record names.
TrackListPtr ParseMdsBytes(const std::u16string& mdsPath, std::span<const uint8_t> bytes);

}  // namespace image
