#include "audio/tracks/track_encoding.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "audio/tracks/music_file_names.h"
#include "audio/tracks/riff_headers.h"
#include "audio/wma/wma_writer.h"
#include "foundation/language.h"
#include "foundation/operation_status.h"
#include "foundation/progress_callbacks.h"
#include "image/document/image_context.h"
#include "image/document/pause_cancel.h"
#include "image/sectors/audio_services.h"
#include "image/sectors/sector_io.h"
#include "image/sheets/track_list.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/staged_file.h"

namespace audio {
namespace {

constexpr uint32_t kTextWritingFailed = 1890;
constexpr uint32_t kTextErrorOpeningEncoder = 1900;
constexpr uint32_t kTextErrorFinishingEncoder = 2150;
constexpr uint64_t kSectorBytes = 2352;

void Fail(int32_t status, const std::u16string& text) {
    foundation::SetLastErrorText(text);
    foundation::OperationStatus.store(status);
}
std::u16string WritingFailedText() { return foundation::GetLangString(kTextWritingFailed, u"Writing file failed."); }
std::u16string EncoderText(uint32_t id, const char16_t* english, const char16_t* format) {
    return platform::Format(foundation::GetLangString(id, english), std::u16string(format));
}

class WavTrackWriter final : public TrackWriter {
public:
    explicit WavTrackWriter(platform::FileHandle file) : file_(file) {}
    ~WavTrackWriter() override {
        if (file_) platform::FileClose(file_);
    }
    bool Write(const uint8_t* pcm, size_t bytes) override {
        return platform::FileWriteAt(file_, platform::kCurrentPosition, pcm, bytes) == int64_t(bytes);
    }
    bool Finish() override {
        platform::FileHandle file = file_;
        file_ = nullptr;
        if (!platform::FileClose(file)) {
            Fail(foundation::kStatusWriteFailed, WritingFailedText());
            return false;
        }
        return true;
    }

private:
    platform::FileHandle file_;
};

class WmaTrackWriter final : public TrackWriter {
public:
    explicit WmaTrackWriter(std::unique_ptr<WmaWriter> writer) : writer_(std::move(writer)) {}
    bool Write(const uint8_t* pcm, size_t bytes) override { return writer_->Write(pcm, bytes) == 1; }
    bool Finish() override {
        if (writer_->Close()) return true;
        Fail(foundation::kStatusFailed, EncoderText(kTextErrorFinishingEncoder, u"Error finishing %s encoder.", u"WMA"));
        return false;
    }

private:
    std::unique_ptr<WmaWriter> writer_;
};

class EncoderTrackWriter final : public TrackWriter {
public:
    EncoderTrackWriter(std::unique_ptr<MusicEncoder> encoder, MusicFormat format)
        : encoder_(std::move(encoder)), format_(format) {}
    bool Write(const uint8_t* pcm, size_t bytes) override { return encoder_->Write(pcm, bytes); }
    bool Finish() override {
        if (encoder_->Finish()) return true;
        // MP3's end is a plain write of the last frames and its info tag.
        if (format_ == MusicFormat::Mp3) Fail(foundation::kStatusWriteFailed, WritingFailedText());
        else Fail(foundation::kStatusFailed, EncoderText(kTextErrorFinishingEncoder, u"Error finishing %s encoder.",
                                                         MusicFormatName(format_)));
        return false;
    }

private:
    std::unique_ptr<MusicEncoder> encoder_;
    MusicFormat format_;
};

bool EncoderFormat(int32_t format, MusicFormat& out) {
    switch (format) {
    case kAudioMp3: out = MusicFormat::Mp3; return true;
    case kAudioApe: out = MusicFormat::Ape; return true;
    case kAudioFlac: out = MusicFormat::Flac; return true;
    case kAudioOgg: out = MusicFormat::Ogg; return true;
    default: return false;
    }
}

// Closes the process-wide music decoder on every way out of a track.
struct DecoderGuard {
    bool open = false;
    ~DecoderGuard() {
        if (open) image::CloseMusicDecoder();
    }
};

std::u16string NamePart(std::u16string_view path) {
    const size_t slash = path.rfind(u'/');
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

std::unique_ptr<TrackWriter> OpenTrackWriter(int32_t format, int fd, uint64_t sectors,
                                             const MusicTags& tags) {
    if (format == kAudioWav) {
        RiffHeader header;
        if (!BuildWavHeader(sectors, header)) {
            Fail(foundation::kStatusFailed, WritingFailedText());
            return nullptr;
        }
        const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        platform::FileHandle file = own >= 0 ? platform::FileFromDescriptor(own) : nullptr;
        if (!file) {
            Fail(foundation::kStatusFailed, WritingFailedText());
            return nullptr;
        }
        auto writer = std::make_unique<WavTrackWriter>(file);
        if (!writer->Write(header.data(), header.size())) {
            Fail(foundation::kStatusFailed, WritingFailedText());
            return nullptr;
        }
        return writer;
    }
    if (format == kAudioWma) {
        std::unique_ptr<WmaWriter> wma = CreateWmaWriter(fd);
        if (!wma) {
            Fail(foundation::kStatusFailed, EncoderText(kTextErrorOpeningEncoder, u"Error opening %s encoder.", u"WMA"));
            return nullptr;
        }
        return std::make_unique<WmaTrackWriter>(std::move(wma));
    }
    MusicFormat music;
    if (!EncoderFormat(format, music)) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        foundation::OperationStatus.store(foundation::kStatusFailed);
        return nullptr;
    }
    if (sectors > std::numeric_limits<uint64_t>::max() / kSectorBytes) {
        Fail(foundation::kStatusFailed, EncoderText(kTextErrorOpeningEncoder, u"Error opening %s encoder.",
                                                    MusicFormatName(music)));
        return nullptr;
    }
    EncoderError error;
    std::unique_ptr<MusicEncoder> encoder = OpenMusicEncoder(music, fd, sectors * kSectorBytes, tags, &error);
    if (!encoder) {
        Fail(foundation::kStatusFailed, error.text);
        return nullptr;
    }
    return std::make_unique<EncoderTrackWriter>(std::move(encoder), music);
}

int64_t TrackSectorCount(const image::ImageContext& ctx, int32_t position) {
    const image::TrackList* list = ctx.trackList;
    if (!list || position < 0 || position >= std::min(list->trackCount, image::kMaxTracks)) return 0;
    const image::TrackEntry& t = list->tracks[size_t(position)];
    return int64_t(std::max(t.pregap, 0)) + std::max(t.length, 0) + std::max(t.postgap, 0);
}

TrackRun WriteTrackSectors(image::ImageContext& ctx, int32_t position, TrackWriter& writer,
                           foundation::ProgressCallbacks* progress, int32_t chunkSectors) {
    TrackRun run;
    image::TrackList* list = ctx.trackList;
    if (!list || position < 0 || position >= std::min(list->trackCount, image::kMaxTracks)) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        foundation::OperationStatus.store(foundation::kStatusSourceReadFailed);
        run.result = -1;
        return run;
    }
    const image::TrackEntry& t = list->tracks[size_t(position)];
    DecoderGuard decoder;
    if (!t.fileName.empty() && t.audioSourceKind == image::kAudioSourceDecoder) {
        if (image::OpenMusicDecoder(t.fileName, t.audioSourceKind, image::GetTrackSourceStart(list, position)) != 1) {
            // The decoder has said why; an empty file is never a success.
            foundation::OperationStatus.store(foundation::kStatusSourceReadFailed);
            run.result = -1;
            run.reported = true;
            return run;
        }
        decoder.open = true;
    }
    const int64_t first = int64_t(t.startSector) - std::max(t.pregap, 0);
    const int64_t count = TrackSectorCount(ctx, position);
    if (first + count > std::numeric_limits<int32_t>::max()) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        foundation::OperationStatus.store(foundation::kStatusSourceReadFailed);
        run.result = -1;
        return run;
    }
    const int32_t step = std::max(chunkSectors, 1);
    std::vector<uint8_t> buffer(size_t(step) * kSectorBytes);
    for (int64_t done = 0; done < count;) {
        if (progress && progress->cancelEvent.IsSet()) {
            foundation::OperationStatus.store(foundation::kStatusCancelled);
            run.result = 0;
            return run;
        }
        if (image::WaitIfPaused(progress) == 0) {
            run.result = 0;
            return run;
        }
        const int32_t n = int32_t(std::min<int64_t>(step, count - done));
        const int64_t at = first + done;
        // Sectors before the disc's start: silence.
        const int32_t silent = at < 0 ? int32_t(std::min<int64_t>(n, -at)) : 0;
        std::memset(buffer.data(), 0, size_t(silent) * kSectorBytes);
        if (n > silent) {
            platform::SetLastError(platform::kErrorSuccess);
            const int32_t got = image::ReadRawSectors(ctx, int32_t(at + silent),
                                                      buffer.data() + size_t(silent) * kSectorBytes, n - silent);
            if (got != n - silent) {
                if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorIoDevice);
                foundation::OperationStatus.store(foundation::kStatusSourceReadFailed);
                run.result = -1;
                return run;
            }
        }
        const size_t bytes = size_t(n) * kSectorBytes;
        if (!writer.Write(buffer.data(), bytes)) {
            Fail(foundation::kStatusWriteFailed, WritingFailedText());
            run.result = -1;
            return run;
        }
        done += n;
        if (progress && progress->AddDone) progress->AddDone(int64_t(bytes));
    }
    return run;
}

TrackRun EncodeTrack(foundation::ProgressCallbacks* progress, image::ImageContext& ctx, int32_t position,
                     int fd, std::u16string_view displayName, int32_t format) {
    constexpr int32_t kChunkSectors = 16;
    TrackRun run;
    if (progress && progress->SetCurrentItem) progress->SetCurrentItem(NamePart(displayName));
    std::unique_ptr<TrackWriter> writer =
        OpenTrackWriter(format, fd, uint64_t(TrackSectorCount(ctx, position)), TagsOfTrack(ctx.trackList, position));
    if (!writer) {
        run.result = -1;
        return run;
    }
    run = WriteTrackSectors(ctx, position, *writer, progress, kChunkSectors);
    if (run.result == 1 && !writer->Finish()) run.result = -1;
    return run;
}

int EncodeTrackToFile(foundation::ProgressCallbacks* progress, image::ImageContext& ctx, int32_t position,
                      const std::u16string& path, int32_t format) {
    platform::StagedFile out;
    if (!out.Begin(path)) {
        foundation::OperationStatus.store(foundation::kStatusFailed);
        return -1;
    }
    const int result = EncodeTrack(progress, ctx, position, out.Fd(), path, format).result;
    if (result == 1 && !out.Commit()) {
        foundation::OperationStatus.store(foundation::kStatusWriteFailed);
        return -1;
    }
    return result;
}

}  // namespace audio
