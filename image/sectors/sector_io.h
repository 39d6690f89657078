#pragma once
// Reading an image as a run of 2048-byte user-data sectors numbered from 0, and
// as 2352-byte raw frames for the burn engine. ReadImageSectors is the single
// read entry of every file system and tool of a disc-image document; it owns the
// end-of-image and read-error policy (zero-fill, one question, OperationStatus).

#include <cstdint>
#include <optional>

#include "foundation/optical_services.h"

namespace image {

struct ImageContext;
struct TrackList;

constexpr int32_t kRawPieceSectors = 64;    // raw layouts are read 64 stored sectors at a time
constexpr int32_t kRawFramePiece = 128;     // frames for the burn engine, 128 at a time

// Reads `count` sectors of 2048 bytes from `first` into `buffer`; returns the
// sectors delivered. Past the end of the image the buffer is zero-filled and the
// user is asked once whether to go on ("Unexpected end of file found."); read
// failures set OperationStatus (1 cancelled, 11 read error) and are reported
// unless the document reads quietly.
//
// A document being burned from a composed image reads through that image; the
// composed image's own reader asks for the stored sectors of its source with
// ImageSource::Stored, which leaves the shared composed-read flag alone (a view
// of the same document reading at the same time keeps its path).
enum class ImageSource { Document, Stored };
int32_t ReadImageSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count,
                         ImageSource source = ImageSource::Document);

// A read of the document's source disc (its drive, else its image handle) that
// may prompt and names the image in its questions; the caller adds the retry
// policy where a track gap asks for one.
foundation::SectorReadRequest DiscReadRequest(ImageContext& ctx, TrackList* list, uint8_t* buffer, uint32_t lba,
                                              uint32_t count, bool raw);

// The byte offset in the image file of sectors [first, first + count) when
// the document stores them there as they are (2048 bytes each, nothing to
// compose, translate or serve from memory), so that a reader may read the
// file itself; nothing otherwise, or when the run leaves the image.
std::optional<int64_t> PlainSectorFileOffset(const ImageContext& ctx, int64_t first, int64_t count);

// Row readers (reached through the format table).
int32_t ReadPlainSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count);
int32_t ReadRawLayoutSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count);
int32_t ReadDaaSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count);
int32_t ReadMzpSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count);
int32_t ReadXdiSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count);

// 2352-byte frames for the burn engine: through the track list's zones (gap
// frames made up by track mode), or without a track list straight from a
// 2352-byte image. Returns the frames delivered.
int32_t ReadRawSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count);
// Plain 2352-byte read of an image without track list: count, or 0 unless the
// document's sector size is 2352 and the whole run was read.
int32_t ReadRawFrames(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count);

// What a running burn tells the reads, set by the burn engine when a burn starts
// and cleared when it ends. During a burn a short read is written once to the
// burn log as an error; the missing sectors are zero-filled and the read counts
// as whole only when the burn was started with its ignore-read-errors option,
// otherwise the read fails (OperationStatus 4) and so does the burn.
void SetBurnReadPolicy(bool burnInProgress, bool ignoreReadErrors);

// The calling thread's raw work buffer (kRawWorkBufferBytes), where raw pieces
// are read and raw frames built; null when it cannot be allocated.
uint8_t* ThreadRawWorkBuffer();

// Gap frames of a track mode (2/3 Mode 1, 4/5/8 Mode 2 Form 1, 6 Mode 2 Form 2,
// 1 audio silence), numbered from `first`; returns count, or 0 for another mode.
int32_t MakeGapFrames(uint8_t mode, int32_t first, uint8_t* buffer, int32_t count);

}  // namespace image
