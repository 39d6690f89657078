#include "audio/encoders/music_encoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "audio/encoders/encoder_library.h"
#include "audio/encoders/encoders_internal.h"
#include "foundation/language.h"
#include "image/sheets/track_list.h"
#include "platform/format.h"
#include "platform/text.h"

namespace audio {
namespace {

constexpr uint32_t kTextErrorLoading = 2130;
constexpr uint32_t kTextErrorOpeningEncoder = 1900;
constexpr int32_t kMaxTracks = 99;

const std::u16string& TextOf(const image::TrackDetail* d, int slot) {
    static const std::u16string empty;
    return d ? d->texts[size_t(slot)] : empty;
}

}  // namespace

MusicTags TagsOfTrack(const image::TrackList* list, int32_t j) {
    MusicTags tags;
    if (!list) return tags;
    if (j >= 0 && j < kMaxTracks) {
        const image::TrackDetail* track = list->details[size_t(j) + 1].get();
        tags.title = TextOf(track, image::cdtext_slot::kTitle);
        tags.artist = TextOf(track, image::cdtext_slot::kPerformer);
        tags.composer = TextOf(track, image::cdtext_slot::kComposer);
        tags.comment = TextOf(track, image::cdtext_slot::kComment);
    }
    const image::TrackDetail* disc = list->details[0].get();
    tags.album = TextOf(disc, image::cdtext_slot::kTitle);
    tags.year = TextOf(disc, image::cdtext_slot::kYear);
    tags.genre = TextOf(disc, image::cdtext_slot::kGenre);
    return tags;
}

bool MusicEncoder::Write(const uint8_t* pcm, size_t bytes) {
    static_assert(std::endian::native == std::endian::little, "PCM samples are copied as they lie");
    size_t at = 0;
    if (pendingBytes_ > 0) {
        while (pendingBytes_ < 4 && at < bytes) pending_[pendingBytes_++] = pcm[at++];
        if (pendingBytes_ < 4) return true;
        int16_t frame[2];
        std::memcpy(frame, pending_, 4);
        pendingBytes_ = 0;
        if (!WriteFrames(frame, 1)) return false;
    }
    const size_t whole = (bytes - at) / 4;
    if (whole > 0) {
        std::vector<int16_t> frames(whole * 2);
        std::memcpy(frames.data(), pcm + at, whole * 4);
        if (!WriteFrames(frames.data(), whole)) return false;
        at += whole * 4;
    }
    while (at < bytes) pending_[pendingBytes_++] = pcm[at++];
    return true;
}

const char16_t* MusicFormatName(MusicFormat format) {
    switch (format) {
    case MusicFormat::Mp3: return u"MP3";
    case MusicFormat::Flac: return u"FLAC";
    case MusicFormat::Ogg: return u"OGG";
    case MusicFormat::Ape: return u"APE";
    }
    return u"";
}

bool LoadEncoderLibrary(MusicFormat format, EncoderError* error) {
    std::lock_guard<std::mutex> guard(detail::LibraryLock());
    switch (format) {
    case MusicFormat::Mp3: return detail::LoadLame(error);
    case MusicFormat::Flac: return detail::LoadFlac(error);
    case MusicFormat::Ogg: return detail::LoadVorbis(error);
    case MusicFormat::Ape: return detail::LoadApe(error);
    }
    return false;
}

void ResetEncoderLibraries() {
    std::lock_guard<std::mutex> guard(detail::LibraryLock());
    detail::ResetLame();
    detail::ResetFlac();
    detail::ResetVorbis();
    detail::ResetApe();
}

std::unique_ptr<MusicEncoder> OpenMusicEncoder(MusicFormat format, int fd, uint64_t totalBytes, const MusicTags& tags,
                                               EncoderError* error) {
    if (!LoadEncoderLibrary(format, error)) return nullptr;
    std::unique_ptr<MusicEncoder> encoder;
    switch (format) {
    case MusicFormat::Mp3: encoder = detail::OpenMp3(fd, tags); break;
    case MusicFormat::Flac: encoder = detail::OpenFlac(fd, totalBytes, tags); break;
    case MusicFormat::Ogg: encoder = detail::OpenOgg(fd, tags); break;
    case MusicFormat::Ape: encoder = detail::OpenApe(fd, totalBytes, tags); break;
    }
    if (!encoder && error) {
        error->loading = false;
        error->text = platform::Format(foundation::GetLangString(kTextErrorOpeningEncoder, u"Error opening %s encoder."),
                                       std::u16string(MusicFormatName(format)));
    }
    return encoder;
}

namespace detail {
FILE* StreamOverFile(int fd, const char* mode) {
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) return nullptr;
    FILE* stream = ::fdopen(own, mode);
    if (!stream) {
        const int err = errno;
        ::close(own);
        errno = err;
    }
    return stream;
}

void LoadFailed(EncoderError* error, const char* fileName) {
    if (!error) return;
    error->loading = true;
    error->text = platform::Format(foundation::GetLangString(kTextErrorLoading, u"Error loading %s."),
                                   platform::Utf8ToUtf16(fileName));
}
}  // namespace detail

}  // namespace audio
