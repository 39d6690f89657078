#pragma once
// Appending a session to a disc (or an image of one) that already holds data.
// The new session is laid out from the disc's next writable sector and keeps
// the files of earlier sessions where they are. A rewritable disc without real
// sessions is read from its first sectors, so the volume descriptors there must
// describe the new tree too: the first 320 sectors are mirrored, the new
// session's descriptor area is captured while it is written, and afterwards
// what changed is written back to the start of the disc (or of the image file).
//
// The mirror lives in the document (discHeadBuffer: first half the new head,
// second half the disc's current head; discHeadCount 320 when loaded).

#include <cstdint>

#include "platform/file.h"

namespace image {

struct ImageContext;

constexpr int32_t kSessionHeadSectors = 320;
constexpr size_t kDiscHeadMirrorBytes = 0x140000;   // two halves of 320 sectors

// Where the new head goes.
enum class HeadTarget { Drive, ImageFile };

// Layout: the next free sector is at least the session start + 320.
uint64_t ReserveSessionHead(int32_t sessionStart, uint64_t next);

// Fills the mirror: the disc's current head read from the drive (for a drive
// target), the new head starting as a copy of the preloaded head (or of the
// current one). 1 done (also when nothing is mirrored), 0 failed (logged).
int LoadDiscHeadMirror(ImageContext& ctx, HeadTarget target, platform::FileHandle drive);

// Called for every block of sectors the session writes: the part inside the
// descriptor area [S, S + descriptorAreaSectors) is copied into the new head.
// 1 done; 0 when the descriptor area is larger than the mirror (nothing copied).
int CaptureSessionHead(ImageContext& ctx, int32_t descriptorAreaSectors, const uint8_t* data, int64_t first,
                       int64_t count);

// Writes the changed head back: to an image file, at offset 0 (the whole new
// head, or only the descriptor area without a preloaded head); to a drive, the
// sectors from 0 up to the last block of sectorsPerWrite sectors that differs
// from the disc's current head. 1 done, 0 failed (logged).
int WriteDiscHeadMirror(ImageContext& ctx, HeadTarget target, platform::FileHandle output, int32_t sectorsPerWrite,
                        int32_t descriptorAreaSectors);

}  // namespace image
