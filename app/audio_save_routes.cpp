#include "app/audio_save_routes.h"

#include "app/audio_track_services.h"
#include "app/extract_helpers.h"
#include "app/extract_job.h"
#include "audio/audio_save_services.h"
#include "audio/tracks/music_file_names.h"
#include "audio/tracks/save_tracks.h"
#include "audio/tracks/video_cd_track.h"
#include "image/document/item_bytes.h"

namespace cmdline {
namespace {

class ExtractionSaveServices final : public audio::IAudioSaveServices {
public:
    int ConfirmOverwrite(std::u16string_view path) override { return app::ConfirmOverwrite(path, nullptr, nullptr); }
    void ReportExtractError(std::u16string_view path) override { app::ReportExtractError(path); }
};

ExtractionSaveServices& Services() {
    static ExtractionSaveServices services;
    return services;
}

class MusicFileTracks final : public app::IAudioTrackServices {
public:
    int ExtractAudioTrack(image::ImageContext& ctx, int32_t index, uint8_t trackFlag, std::u16string_view folder,
                          foundation::ProgressCallbacks* progress) override {
        const int32_t format = trackFlag == 0 ? audio::kAudioWav : int32_t(trackFlag);
        return audio::SaveTrackAsMusicFile(progress, ctx, index, folder, format);
    }
};

MusicFileTracks g_musicFileTracks;

}  // namespace

void InstallAudioSaveRoutes() {
    audio::SetAudioSaveServices(&Services());
    app::SetAudioTrackServices(&g_musicFileTracks);
    image::SetItemReader(image::ItemReaderKind::VideoCdTrack, {nullptr, &audio::WriteVideoCdTrackFile});
}

void RemoveAudioSaveRoutes() {
    image::SetItemReader(image::ItemReaderKind::VideoCdTrack, {});
    app::SetAudioTrackServices(nullptr);
    audio::SetAudioSaveServices(nullptr);
}

}  // namespace cmdline
