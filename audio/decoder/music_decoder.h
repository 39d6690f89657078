#pragma once
// One music file decoded to CD audio: 44,100 Hz, 16-bit, 2 channels,
// little-endian, whatever the file's own rate, width and channels (every rate
// is resampled; mono is copied to both channels at full level). One owner, one
// thread; the process-wide decoder (shared_decoder.h) puts a lock around one.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace audio {

constexpr int32_t kCdSampleRate = 44100;
constexpr int32_t kCdFrameBytes = 4;             // one stereo sample pair
constexpr int32_t kSamplesPerSector = 588;       // 2352 / 4
constexpr int64_t kMaxMusicSeconds = 24 * 3600;  // longer is no track: unusable

// Texts a music file carries (container first, then its audio stream, as Ogg
// keeps them), each at most 127 UTF-16 units, trailing blanks cut.
struct DecodedTags {
    std::u16string title, artist, composer, album, comment;
};

class MusicDecoder {
public:
    MusicDecoder();
    ~MusicDecoder();
    MusicDecoder(const MusicDecoder&) = delete;
    MusicDecoder& operator=(const MusicDecoder&) = delete;

    // Opens a regular file by path (a FIFO or device is refused); false with
    // the last error set when it is not a music file we can decode.
    bool Open(std::u16string_view path);
    // The same over an open file (its descriptor is duplicated and read by
    // position, so the caller's handle is left as it was).
    bool OpenHandle(platform::FileHandle file, std::u16string_view nameForProbe);
    void Close();
    bool IsOpen() const;

    // Output samples (stereo pairs at 44.1 kHz) of the whole stream: the
    // stream's own length where the file states it, counted by decoding
    // where FFmpeg could only estimate it from the bit rate. -1 when unknown
    // or longer than kMaxMusicSeconds. Leaves the read position at the start.
    int64_t CountSamples();

    // Fills bytes (a multiple of 4) of PCM from the read position; past the
    // end of the stream the rest is silence. False on a read failure.
    bool Read(void* buffer, size_t bytes);
    // Moves the read position to an output sample, exactly: seek, then
    // decode and drop up to it. Clears the end of stream.
    bool SeekToSample(int64_t sample);
    int64_t Position() const;   // the output sample the next Read starts at
    bool AtEnd() const;         // nothing decoded remains

    DecodedTags ReadTags() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Bytes of a length of samples as the track model counts them: every stereo
// sample, 4 bytes each; the track's last sector is padded with silence.
int64_t TrackBytesOfSamples(int64_t samples);

}  // namespace audio
