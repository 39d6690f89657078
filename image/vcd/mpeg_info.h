#pragma once
// MPEG stream information of a Video CD track: what the Video CD control files
// need to know of each MPEG stream (picture sizes and rate, audio, subtitles,
// playing time and the scan points). The information is made by the audio and
// video side; the image core asks for it through MpegInfoServices, which by
// default reads the stream with FFmpeg's libavformat. Tests install their own.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace image {

struct MpegVideoStream {
    bool present = false;
    int32_t horizontalSize = 0;
    int32_t verticalSize = 0;
    double frameRate = 0;
};

struct MpegScanEntry {
    uint32_t sector = 0;       // from the start of the stream, in Form 2 sectors
    uint32_t word = 0;
    double seconds = 0;
};

struct MpegInfo {
    // Motion video first, then the two still-picture streams.
    std::array<MpegVideoStream, 3> video{};
    bool audioPresent = false;
    // MPEG audio mode + 1: 1 stereo, 2 joint stereo, 3 dual channel, 4 mono.
    int32_t audioMode = 0;
    bool secondAudio = false;
    bool multichannelAudio = false;
    std::array<bool, 4> subtitles{};   // OGT streams 0..3
    double playingSeconds = 0;
    int32_t startOffset = 0;           // sectors
    int32_t secondOffset = 0;          // sectors
    int32_t kind = 0;                  // 1: the track's sectors are taken from the track list
    std::vector<MpegScanEntry> scanEntries;
};

// Frees a record made by the services (records are shared by track lists).
void FreeMpegTrackInfo(MpegInfo* info);

class IMpegInfoServices {
public:
    virtual ~IMpegInfoServices() = default;
    // The stream information of an MPEG file, or null when it is not one.
    virtual std::shared_ptr<MpegInfo> ProbeMpegFile(std::u16string_view path) = 0;
};

// The installed services (not owned); the FFmpeg reader when none is. The
// installer returns what was installed before (foundation/services.h).
IMpegInfoServices& MpegInfoServices();
IMpegInfoServices* SetMpegInfoServices(IMpegInfoServices* services);

}  // namespace image
