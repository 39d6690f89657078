#include "audio/tracks/audio_services_install.h"

#include "audio/decoder/shared_decoder.h"
#include "audio/player/audio_player.h"
#include "audio/tracks/track_source.h"
#include "image/sectors/audio_services.h"

namespace audio {
namespace {

class AudioTrackServices final : public image::IAudioServices {
public:
    int ReadTrackData(image::TrackList* list, int32_t position, void* buffer, uint32_t sectors) override {
        return audio::ReadTrackData(list, position, buffer, sectors);
    }
    int ReadTrackSectors(const image::TrackList* list, int32_t position, int64_t fileSector, void* buffer,
                         uint32_t sectors) override {
        return audio::ReadTrackSectors(list, position, fileSector, buffer, sectors);
    }
    int64_t ProbeAudioFile(platform::FileHandle file, std::u16string_view path, int32_t* kind, int64_t* dataOffset,
                           int64_t* dataSize) override {
        return audio::ProbeAudioFile(file, path, kind, dataOffset, dataSize);
    }
    int OpenMusicDecoder(std::u16string_view path, int32_t kind, int64_t startSector) override {
        return audio::OpenMusicDecoder(path, kind, startSector);
    }
    void CloseMusicDecoder() override { audio::CloseMusicDecoder(); }
    int64_t GetTrackSourceStart(const image::TrackList* list, int32_t position) override {
        return audio::GetTrackSourceStart(list, position);
    }
    void StopPlayerForReading() override { audio::StopPlaybackAndWait(audio::CurrentPlayback()); }
};

}  // namespace

void InstallAudioServices() {
    static AudioTrackServices services;
    image::SetAudioServices(&services);
}

}  // namespace audio
