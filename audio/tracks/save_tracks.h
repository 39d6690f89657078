#pragma once
// Saving audio tracks as music files, in two ways: one file per track, named
// from the audio file-name template and the CD-TEXT records, for the extract
// worker; or all chosen tracks streamed into one music file with a CUE sheet
// beside it that lists them. Every file is written to a temporary beside its
// target and renamed over it only when complete, so a failed, cancelled or
// refused save leaves any old file as it was.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace foundation {
struct ProgressCallbacks;
}
namespace image {
struct ImageContext;
}

namespace audio {

// The template as the setting holds it, cut to the length the name buffer takes.
constexpr size_t kMaxTemplateChars = 1025;

// Track `position` of the document into folder, named by the template
// "AudioFileNameFormat". Asks before replacing a file (a refusal skips the
// track: 1); a data track is skipped the same way. 1 done or skipped, 0 cancelled, -1 failed; a failure is reported
// once through the audio save services.
int SaveTrackAsMusicFile(foundation::ProgressCallbacks* progress, image::ImageContext& ctx, int32_t position,
                         std::u16string_view folder, int32_t format);

// The name the one-file save offers first: the album title in folder.
std::u16string SingleFileInitialName(const image::ImageContext& ctx, std::u16string_view folder, int32_t format);

// The audio tracks among positions (data tracks of a mixed disc are left out)
// streamed into the music file at path, then its CUE sheet written beside it.
// -1 with nothing done when no audio sectors are chosen. Runs on the progress
// dialog's worker: 1 all written, 0 cancelled, -1 failed (shown once; the
// output removed and no sheet written).
int SaveTracksToMusicFile(foundation::ProgressCallbacks* progress, image::ImageContext& ctx,
                          std::span<const int32_t> positions, int32_t format, const std::u16string& path);

}  // namespace audio
