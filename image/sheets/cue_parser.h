#pragma once
// CUE sheets: the tracks of BIN images (and of WAVE files) as CDRWIN and the
// tools that copy it write them.

#include <cstdint>
#include <string>

#include "image/sheets/track_list.h"

namespace image {

// Why a sheet was refused; the line number tells where.
enum class SheetError {
    None,
    ReadFailed,          // the sheet could not be opened or read
    Empty,
    TooLarge,            // 128 KiB or more: not a sheet
    PathTooLong,
    KeywordNotAllowed,   // a keyword out of its place (TITLE after INDEX 01, FLAGS before TRACK ...)
    ExtraToken,          // something after a keyword's arguments
    BadFileName,         // empty or too long
    FileNotFound,
    NotAFile,            // the name leads to a folder, a device or a pipe
    FileTooSmall,        // a FILE of fewer than 2048 bytes
    BadFileType,
    AudioProbeFailed,    // an AIFF/WAVE/MP3 file that gives no whole sector
    NoFile,              // TRACK before any FILE
    BadTrackNumber,      // not count + 1
    TooManyTracks,       // a 100th track
    BadTrackMode,
    SectorSizeChange,    // a later TRACK of a FILE with another sector size
    MotorolaAudio,       // big-endian audio samples, which would play as noise
    MissingIndex01,      // a TRACK (or the end) before the previous track's INDEX 01
    BadFlags,
    BadIndex,            // number, time or order of an INDEX line
    IndexPastFile,       // an INDEX at or beyond the end of its file
    BadTrackLength,      // a track that would have no sectors
    CdTextFile,          // the CDTEXTFILE is missing or broken
    NoTracks,
};

struct SheetDiagnostics {
    SheetError error = SheetError::None;
    int32_t line = 0;   // 1-based line of the sheet (counting its non-empty lines); 0 for the whole sheet
    std::u16string path;   // the file a failing FILE or CDTEXTFILE line names, as resolved
};

// AIFF/WAVE/MP3 FILE lines are probed by the audio services
// (image/sectors/audio_services.h) when installed; without them,
// uncompressed 16-bit stereo WAVE files are read directly by this probe and
// other files are refused. It answers as ProbeAudioFile does: sectors of 2352
// bytes (rounded up; 0 or less = unusable), with the kind (0 read from the file,
// 1 through the music decoder), the data offset and the data size. It reads a
// RIFF WAVE file of 16-bit PCM, 2 channels, 44100 Hz.
int64_t ProbeWaveFile(platform::FileHandle file, const std::u16string& path, int32_t& kind,
                      int64_t& dataOffset, int64_t& dataSize);

// Null when the sheet is refused (diagnostics, when given, say why).
TrackListPtr ParseCueSheet(const std::u16string& sheetPath, SheetDiagnostics* diagnostics = nullptr);

}  // namespace image
