#pragma once
// A music file handed to FFmpeg through our own descriptor. FFmpeg never opens
// anything by name: it reads this one regular file through an AVIOContext, may
// choose only an audio demuxer, and may not open a second resource, so a name
// like "pipe:" or "http:", or a playlist renamed ".mp3", reaches nothing else.

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/file.h"

struct AVFormatContext;

namespace audio {

struct FormatContextCloser {
    void operator()(AVFormatContext* format) const;
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;

// The demuxers a music file may be read with, as FFmpeg names them.
extern const char* const kAudioDemuxers;

// Opens the regular file at path without following it into a FIFO or device
// (those never end); -1 with the last error set otherwise.
int OpenRegularFile(std::u16string_view path);

// Takes ownership of fd (a regular file; read with pread, so a descriptor
// shared by dup with another reader is never moved) and opens it for
// demuxing; null when it is no audio file FFmpeg may read. nameForProbe gives
// the extension hint only.
FormatContextPtr OpenMusicInput(int fd, std::u16string_view nameForProbe);

}  // namespace audio
