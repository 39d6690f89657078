#pragma once
// Encoders that turn CD audio (44,100 Hz, 2 channels, 16-bit little-endian,
// 4 bytes a frame) into music files: MP3 through LAME, FLAC through libFLAC,
// Ogg Vorbis through libvorbisenc and APE through the Monkey's Audio library,
// each library loaded at run time. One object per open encoder: it owns the
// library's encoder state and the output file, and frees both on every path.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace image {
struct TrackList;
}

namespace audio {

enum class MusicFormat { Mp3, Flac, Ogg, Ape };

// The texts an encoder tags a file with: the track's CD-TEXT record (title,
// performer, composer, comment) and the disc's (album title, year, genre).
struct MusicTags {
    std::u16string title, artist, composer, comment, album, year, genre;
};
// Track j (0-based; -1: the disc's texts only) of the list; empty without a list.
MusicTags TagsOfTrack(const image::TrackList* list, int32_t j);

class MusicEncoder {
public:
    virtual ~MusicEncoder() = default;
    // Encodes PCM bytes; a trailing part of a frame waits for the next call.
    // False when the encoder or the file write failed.
    bool Write(const uint8_t* pcm, size_t bytes);
    // Ends the stream, writes what trails it (MP3 info tag, FLAC and Vorbis
    // end) and closes the file. False when any of it failed: the file is then
    // of no use. Called once; the destructor cleans up without it.
    virtual bool Finish() = 0;

protected:
    virtual bool WriteFrames(const int16_t* frames, size_t count) = 0;

private:
    uint8_t pending_[4] = {};
    size_t pendingBytes_ = 0;
};

// Why an open failed, in the program's texts: "Error loading %s." with the
// library's file name, or "Error opening %s encoder." with the format's name.
struct EncoderError {
    bool loading = false;
    std::u16string text;
};

// Opens an encoder writing into the open, empty file fd (the caller's
// temporary, which the caller keeps owning and keeps open until Finish).
// totalBytes is the PCM byte count to come (FLAC and APE record it).
std::unique_ptr<MusicEncoder> OpenMusicEncoder(MusicFormat format, int fd, uint64_t totalBytes, const MusicTags& tags,
                                               EncoderError* error);

// The library of a format, loaded once per process (false: not available).
bool LoadEncoderLibrary(MusicFormat format, EncoderError* error);
// Forgets the loaded libraries, so tests can point the loader elsewhere.
void ResetEncoderLibraries();

const char16_t* MusicFormatName(MusicFormat format);   // "MP3", "FLAC", "OGG", "APE"

}  // namespace audio
