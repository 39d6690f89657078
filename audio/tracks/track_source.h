#pragma once
// Where a track's samples come from: the probe that tells a music file's
// length and source kind, and the reads of decoded tracks as CD sectors
// (2352 bytes, 588 stereo samples of 16 bits).

#include <cstdint>
#include <string_view>

#include "platform/file.h"

namespace image {
struct TrackList;
}

namespace audio {

// The length of the music file in 2352-byte sectors, rounded up; 0 = unusable.
// A 44.1 kHz 16-bit stereo WAV file is read straight from the file (kind 0,
// dataOffset and dataSize its data chunk, clipped to the file); anything else
// is decoded (kind 1, dataOffset 0, dataSize the decoded bytes, every sample
// kept). Only regular files; the caller's handle is left as it was and
// the process-wide decoder is not touched.
int64_t ProbeAudioFile(platform::FileHandle file, std::u16string_view path, int32_t* kind, int64_t* dataOffset,
                       int64_t* dataSize);

// The sector of a track's source file where its audio, with the part of its
// pregap that the file holds, begins; 0 for added music files and positions
// outside the list.
int64_t GetTrackSourceStart(const image::TrackList* list, int32_t position);

// sectors x 2352 bytes of a decoded track from where the process-wide decoder
// stands (opened at the track's source start when it holds another file).
// 1 read, 0 failed or not a decoded track.
int ReadTrackData(image::TrackList* list, int32_t position, void* buffer, uint32_t sectors);
// The same from a given sector of the track's file, for reads that jump about.
int ReadTrackSectors(const image::TrackList* list, int32_t position, int64_t fileSector, void* buffer,
                     uint32_t sectors);

}  // namespace audio
