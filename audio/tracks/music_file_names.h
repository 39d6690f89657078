#pragma once
// Names of saved music files, made from a template of two-character tokens
// ("|#" track number, "|t" title, "|p" artist, "|c" composer, "|T" album,
// "|P" album artist, "|C" album composer) and the CD-TEXT records, and the
// same template shown with placeholders or sample values in the rip dialog.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace image {
struct TrackList;
}

namespace audio {

// 1 WAV, 2 WMA, 3 MP3, 4 APE, 5 FLAC, 6 OGG.
enum AudioFormatCode : int32_t {
    kAudioWav = 1,
    kAudioWma = 2,
    kAudioMp3 = 3,
    kAudioApe = 4,
    kAudioFlac = 5,
    kAudioOgg = 6,
};

// ".wav" ... ".ogg"; empty for an unknown code.
std::u16string_view AudioFormatExtension(int32_t format);

enum class NameMode {
    Tokens = 0,        // placeholders of the current language back to tokens
    Placeholders = 1,  // "<Track Title>" ...
    Samples = 2,       // "Sample Track Title" ... with the extension
    Real = 3,          // the track's texts or their fallbacks, with the extension
};

// The longest name one folder entry can carry, in UTF-8 bytes.
constexpr size_t kMaxNameBytes = 255;

std::u16string ExpandAudioFileName(NameMode mode, std::u16string_view pattern, const image::TrackList* list,
                                   int32_t position, std::u16string_view prefix, int32_t format);

// Double quote, asterisk, slash, colon, less-than, greater-than, question mark,
// backslash and the control characters (U+0000..U+001F, U+007F) become blanks;
// a lone surrogate becomes U+FFFD.
std::u16string SanitizeFileNameText(std::u16string_view text);

// The last component of path cut to kMaxNameBytes UTF-8 bytes at a character
// boundary, keeping its extension (the part from the last dot, when that part
// is short enough to keep).
std::u16string ClipFileNameComponent(std::u16string_view path);

}  // namespace audio
