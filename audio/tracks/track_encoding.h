#pragma once
// Turning audio tracks of the current document into music files: the track's
// sectors are read as raw 2352-byte CD audio (decoded tracks through the one
// music decoder) and handed in chunks to the writer of the chosen format (WAV
// with its RIFF header, WMA, MP3, APE, FLAC, OGG), with progress, pause and
// cancel through the progress record.
//
// Nothing here shows a message: a failure leaves its text in the last error
// and its code in OperationStatus (1 cancelled, 2 the writer could not be
// opened or finished, 3 a write failed, 4 reading the track failed) for the
// caller's one report.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "audio/encoders/music_encoder.h"

namespace foundation {
struct ProgressCallbacks;
}
namespace image {
struct ImageContext;
}

namespace audio {

// One open writer of a music file, owning what it opened.
class TrackWriter {
public:
    virtual ~TrackWriter() = default;
    // False when the write failed (last error set).
    virtual bool Write(const uint8_t* pcm, size_t bytes) = 0;
    // Ends the file. False when that failed: OperationStatus and the last
    // error text are then set. Called once.
    virtual bool Finish() = 0;
};

// Opens the writer of a format on the open, empty file fd (the caller's
// temporary, kept open by the caller until Finish) for sectors x 2352 bytes
// of CD audio. Null with OperationStatus 2 and the error text set (a WAV count
// its header cannot hold, an encoder that does not load or open).
std::unique_ptr<TrackWriter> OpenTrackWriter(int32_t format, int fd, uint64_t sectors,
                                             const MusicTags& tags);

// How a track run ended.
struct TrackRun {
    int result = 1;          // 1 done, 0 cancelled, -1 failed
    bool reported = false;   // the failure was already shown (the music decoder's own message)
};

// Streams track `position` of the document (pregap, track, post-gap) into the
// writer in chunks of at most chunkSectors sectors. Sectors before the start of
// the disc (a hand-made sheet's pregap) are silence.
TrackRun WriteTrackSectors(image::ImageContext& ctx, int32_t position, TrackWriter& writer,
                           foundation::ProgressCallbacks* progress, int32_t chunkSectors);

// Sectors the track occupies in a music file: pregap + length + post-gap.
int64_t TrackSectorCount(const image::ImageContext& ctx, int32_t position);

// One track into the open, empty file fd (the caller's temporary); shown
// under displayName. 1 done, 0 cancelled, -1 failed.
TrackRun EncodeTrack(foundation::ProgressCallbacks* progress, image::ImageContext& ctx, int32_t position, int fd,
                     std::u16string_view displayName, int32_t format);
// One track into a file at path, written beside it and renamed over it when complete.
int EncodeTrackToFile(foundation::ProgressCallbacks* progress, image::ImageContext& ctx, int32_t position,
                      const std::u16string& path, int32_t format);

}  // namespace audio
