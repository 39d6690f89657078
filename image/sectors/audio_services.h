#pragma once
// What the image core needs of the audio side: decoded PCM of music-file tracks
// and the probe of a CUE FILE line's audio file. Declared here, where the audio
// code will implement it; until an audio service is installed both calls report
// "not available" (0, last error kErrorNotSupported).

#include <cstdint>
#include <string_view>

#include "foundation/services.h"
#include "platform/file.h"
#include "platform/last_error.h"

namespace image {
struct TrackList;
}

namespace image {

// Source kinds of a track's audio.
constexpr int32_t kAudioSourceFile = 0;      // read from the file at the data offset (WAV)
constexpr int32_t kAudioSourceDecoder = 1;   // rendered by the music decoder

class IAudioServices {
public:
    virtual ~IAudioServices() = default;
    // Renders sectors x 2352 bytes of PCM of a decoded track (source kind 1):
    // 1 read, 0 failed or not a decoded track.
    virtual int ReadTrackData(image::TrackList* list, int32_t position, void* buffer, uint32_t sectors) = 0;
    // The image core's reads of a decoded track, which jump about: sectors x
    // 2352 bytes of the track's decoded file from its sector fileSector on
    // (silence past the track's data). 1 read, 0 failed.
    virtual int ReadTrackSectors(const image::TrackList* /*list*/, int32_t /*position*/, int64_t /*fileSector*/,
                                 void* /*buffer*/, uint32_t /*sectors*/) {
        platform::SetLastError(platform::kErrorNotSupported);
        return 0;
    }
    // The length of an audio file in 2352-byte sectors, rounded up; 0 or less =
    // unusable. kind, dataOffset and dataSize describe where the samples are.
    virtual int64_t ProbeAudioFile(platform::FileHandle file, std::u16string_view path, int32_t* kind,
                                   int64_t* dataOffset, int64_t* dataSize) = 0;
    // The one process-wide music decoder, for callers outside the audio layer
    // (the burner's read-ahead): opening closes whatever was open before.
    // 1 ready, 0 failed (the decoder has reported why).
    virtual int OpenMusicDecoder(std::u16string_view path, int32_t kind, int64_t startSector) = 0;
    virtual void CloseMusicDecoder() = 0;
    // The sector of a track's source file where its audio (with the part of
    // its pregap that the file holds) begins; added music files give 0.
    virtual int64_t GetTrackSourceStart(const image::TrackList* list, int32_t position) = 0;
    // Ends whatever the audio player is playing and returns once it has let
    // go of the music decoder, so a reader outside the audio layer can take
    // the decoder over. Nothing to stop: returns at once.
    virtual void StopPlayerForReading() {}
};

namespace detail {
class AudioStandIn final : public IAudioServices {
public:
    int ReadTrackData(image::TrackList*, int32_t, void*, uint32_t) override {
        platform::SetLastError(platform::kErrorNotSupported);
        return 0;
    }
    int64_t ProbeAudioFile(platform::FileHandle, std::u16string_view, int32_t*, int64_t*, int64_t*) override {
        platform::SetLastError(platform::kErrorNotSupported);
        return 0;
    }
    int OpenMusicDecoder(std::u16string_view, int32_t, int64_t) override {
        platform::SetLastError(platform::kErrorNotSupported);
        return 0;
    }
    void CloseMusicDecoder() override {}
    int64_t GetTrackSourceStart(const image::TrackList*, int32_t) override { return 0; }
};
}  // namespace detail

inline foundation::ServiceSlot<IAudioServices, detail::AudioStandIn>& AudioServicesSlot() {
    static foundation::ServiceSlot<IAudioServices, detail::AudioStandIn> slot;
    return slot;
}
inline IAudioServices& AudioServices() { return AudioServicesSlot().Get(); }
// Not owned; null restores the stand-in.
inline IAudioServices* SetAudioServices(IAudioServices* services) { return AudioServicesSlot().Install(services); }

inline int ReadTrackData(image::TrackList* list, int32_t position, void* buffer, uint32_t sectors) {
    return AudioServices().ReadTrackData(list, position, buffer, sectors);
}
inline int ReadTrackSectors(const image::TrackList* list, int32_t position, int64_t fileSector, void* buffer,
                            uint32_t sectors) {
    return AudioServices().ReadTrackSectors(list, position, fileSector, buffer, sectors);
}
inline int64_t ProbeAudioFile(platform::FileHandle file, std::u16string_view path, int32_t* kind,
                              int64_t* dataOffset, int64_t* dataSize) {
    return AudioServices().ProbeAudioFile(file, path, kind, dataOffset, dataSize);
}

inline int OpenMusicDecoder(std::u16string_view path, int32_t kind, int64_t startSector) {
    return AudioServices().OpenMusicDecoder(path, kind, startSector);
}
inline void CloseMusicDecoder() { AudioServices().CloseMusicDecoder(); }
inline int64_t GetTrackSourceStart(const image::TrackList* list, int32_t position) {
    return AudioServices().GetTrackSourceStart(list, position);
}
inline void StopPlayerForReading() { AudioServices().StopPlayerForReading(); }

}  // namespace image
