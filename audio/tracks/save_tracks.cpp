#include "audio/tracks/save_tracks.h"

#include <algorithm>
#include <vector>

#include "audio/audio_save_services.h"
#include "audio/tracks/music_file_names.h"
#include "audio/tracks/riff_headers.h"
#include "audio/tracks/track_encoding.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/progress_callbacks.h"
#include "foundation/settings.h"
#include "image/document/image_context.h"
#include "image/sheets/cue_writer.h"
#include "image/sheets/track_list.h"
#include "platform/last_error.h"
#include "platform/staged_file.h"

namespace audio {
namespace {

constexpr uint32_t kTextTooLarge = 127;
constexpr int32_t kStatusTooLarge = 7;
constexpr uint64_t kSectorBytes = 2352;
constexpr uint64_t kMaxOutputBytes = uint64_t(1) << 60;
constexpr int32_t kOneFileChunkSectors = 64;
// The naming pattern may put tracks in folders of their own (artist, album).
constexpr platform::StagedFileOptions kMusicFileOptions{.createFolders = true};

std::u16string WithSlash(std::u16string_view folder) {
    std::u16string out(folder);
    if (out.back() != u'/') out += u'/';
    return out;
}

// An encoder library that cannot be used is told before any question is asked.
bool EncoderAvailable(int32_t format) {
    MusicFormat music;
    switch (format) {
    case kAudioMp3: music = MusicFormat::Mp3; break;
    case kAudioApe: music = MusicFormat::Ape; break;
    case kAudioFlac: music = MusicFormat::Flac; break;
    case kAudioOgg: music = MusicFormat::Ogg; break;
    default: return true;
    }
    EncoderError error;
    if (LoadEncoderLibrary(music, &error)) return true;
    foundation::SetLastErrorText(error.text);
    foundation::OperationStatus.store(foundation::kStatusFailed);
    return false;
}

bool Cancelled() {
    return foundation::StandingOverwriteAnswer.load() == 4 ||
           foundation::OperationStatus.load() == foundation::kStatusCancelled;
}

}  // namespace

int SaveTrackAsMusicFile(foundation::ProgressCallbacks* progress, image::ImageContext& ctx, int32_t position,
                         std::u16string_view folder, int32_t format) {
    if (folder.empty()) return 1;
    // A data track of a mixed disc is no music: encoding it would give noise.
    const image::TrackList* list = ctx.trackList;
    if (!list || position < 0 || position >= std::min(list->trackCount, image::kMaxTracks) ||
        list->tracks[size_t(position)].mode != image::track_mode::kAudio)
        return 1;
    std::u16string pattern = foundation::GetAudioFileNameFormat();
    if (pattern.size() > kMaxTemplateChars) pattern.resize(kMaxTemplateChars);
    const std::u16string name = ClipFileNameComponent(
        ExpandAudioFileName(NameMode::Real, pattern, ctx.trackList, position, WithSlash(folder), format));
    IAudioSaveServices& services = AudioSaveServices();
    if (!EncoderAvailable(format)) {
        services.ReportExtractError(name);
        return -1;
    }
    if (services.ConfirmOverwrite(name) != 0) return Cancelled() ? 0 : 1;

    platform::StagedFile out;
    if (!out.Begin(name, kMusicFileOptions)) {
        foundation::OperationStatus.store(foundation::kStatusSourceOpenFailed);
        services.ReportExtractError(name);
        return -1;
    }
    TrackRun run = EncodeTrack(progress, ctx, position, out.Fd(), name, format);
    if (run.result == 1 && !out.Commit()) {
        foundation::OperationStatus.store(foundation::kStatusWriteFailed);
        run.result = -1;
    }
    if (run.result != 1) out.Abandon();
    if (run.result == -1 && !run.reported) services.ReportExtractError(name);
    return run.result;
}

std::u16string SingleFileInitialName(const image::ImageContext& ctx, std::u16string_view folder, int32_t format) {
    return ClipFileNameComponent(
        ExpandAudioFileName(NameMode::Real, u"|T", ctx.trackList, 0, folder.empty() ? u"" : WithSlash(folder), format));
}

int SaveTracksToMusicFile(foundation::ProgressCallbacks* progress, image::ImageContext& ctx,
                          std::span<const int32_t> positions, int32_t format, const std::u16string& path) {
    image::TrackList* list = ctx.trackList;
    if (!list) return -1;
    const int32_t count = std::min(list->trackCount, image::kMaxTracks);
    std::vector<int32_t> chosen;
    uint64_t total = 0;
    for (int32_t p = 0; p < count; ++p) {
        // Only audio tracks: a mixed disc's data track would be encoded as noise.
        if (std::find(positions.begin(), positions.end(), p) == positions.end()) continue;
        if (list->tracks[size_t(p)].mode != image::track_mode::kAudio) continue;
        chosen.push_back(p);
        total += uint64_t(TrackSectorCount(ctx, p));
    }
    if (total == 0) return -1;

    foundation::ResetOperationStatus();
    const uint64_t limit = format == kAudioWav ? kRiffMaxDataBytes : kMaxOutputBytes - 1;
    if (total > limit / kSectorBytes) {
        foundation::SetLastErrorText(foundation::GetLangString(
            kTextTooLarge, u"The new image file size is too large. Please remove some files."));
        foundation::OperationStatus.store(kStatusTooLarge);
        foundation::ShowLastError(path);
        return -1;
    }
    if (!EncoderAvailable(format)) {
        foundation::ShowLastError(path);
        return -1;
    }
    if (AudioSaveServices().ConfirmOverwrite(path) != 0) return -1;
    platform::StagedFile out;
    if (!out.Begin(path, kMusicFileOptions)) {
        foundation::OperationStatus.store(foundation::kStatusSourceOpenFailed);
        foundation::ShowLastError(path);
        return -1;
    }
    if (progress && progress->SetCurrentItem) progress->SetCurrentItem(u"");
    if (progress && progress->SetTotal) progress->SetTotal(int64_t(total * kSectorBytes));

    TrackRun run;
    std::unique_ptr<TrackWriter> writer = OpenTrackWriter(format, out.Fd(), total, TagsOfTrack(list, -1));
    if (!writer) run.result = -1;
    for (size_t i = 0; run.result == 1 && i < chosen.size(); ++i) {
        run = WriteTrackSectors(ctx, chosen[i], *writer, progress, kOneFileChunkSectors);
    }
    if (run.result == 1 && !writer->Finish()) run.result = -1;
    writer.reset();
    if (run.result == 1 && !out.Commit()) {
        foundation::OperationStatus.store(foundation::kStatusWriteFailed);
        run.result = -1;
    }
    if (progress && progress->Finish) progress->Finish();
    if (run.result != 1) {
        out.Abandon();
        if (run.result == -1 && !run.reported) foundation::ShowLastError(path);
        return run.result;
    }
    // The sheet names the music file as a WAVE file and lists the chosen tracks.
    return image::WriteFullCueSheet(path, *list, true, chosen) == 0 ? 1 : -1;
}

}  // namespace audio
