#include "audio/tracks/track_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "audio/decoder/music_decoder.h"
#include "audio/decoder/shared_decoder.h"
#include "image/detect/format_detect.h"
#include "image/sheets/cue_parser.h"
#include "image/sheets/track_list.h"
#include "platform/last_error.h"

namespace audio {
namespace {

constexpr int64_t kSectorBytes = 2352;

bool IsRegularFile(platform::FileHandle file) {
    const int fd = file ? platform::FileDescriptor(file) : -1;
    struct stat st {};
    return fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

const image::TrackEntry* DecodedTrack(const image::TrackList* list, int32_t position) {
    if (list == nullptr || position < 0 || position >= std::min(list->trackCount, image::kMaxTracks)) return nullptr;
    const image::TrackEntry& t = list->tracks[size_t(position)];
    if (t.audioSourceKind != kSourceDecoder || t.fileName.empty()) return nullptr;
    return &t;
}

}  // namespace

int64_t ProbeAudioFile(platform::FileHandle file, std::u16string_view path, int32_t* kind, int64_t* dataOffset,
                       int64_t* dataSize) {
    int32_t k = 0;
    int64_t offset = 0, size = 0;
    if (kind) *kind = 0;
    if (dataOffset) *dataOffset = 0;
    if (dataSize) *dataSize = 0;
    // A FIFO or a device never ends.
    if (!IsRegularFile(file)) {
        platform::SetLastError(platform::kErrorAccessDenied);
        return 0;
    }
    uint8_t head[8];
    if (platform::FileReadAt(file, 0, head, sizeof head) != int64_t(sizeof head)) return 0;
    const bool riff = (head[0] | 0x20) == 'r' && (head[1] | 0x20) == 'i' && (head[2] | 0x20) == 'f' &&
                      (head[3] | 0x20) == 'f';
    if (riff || EqualsIgnoringCase(image::GetFileExtension(path), u"WAV")) {
        const int64_t sectors = image::ProbeWaveFile(file, std::u16string(path), k, offset, size);
        if (sectors > 0) {
            if (kind) *kind = kSourceFile;
            if (dataOffset) *dataOffset = offset;
            if (dataSize) *dataSize = size;
            return sectors;
        }
    }
    MusicDecoder decoder;
    if (!decoder.OpenHandle(file, path)) return 0;
    const int64_t bytes = TrackBytesOfSamples(decoder.CountSamples());
    if (bytes <= 3) {
        platform::SetLastError(platform::kErrorNoData);
        return 0;
    }
    if (kind) *kind = kSourceDecoder;
    if (dataSize) *dataSize = bytes;
    return (bytes + kSectorBytes - 1) / kSectorBytes;
}

int64_t GetTrackSourceStart(const image::TrackList* list, int32_t position) {
    if (list == nullptr || position < 0 || position >= std::min(list->trackCount, image::kMaxTracks)) return 0;
    const image::TrackEntry& t = list->tracks[size_t(position)];
    return int64_t(t.index01Position) - std::min(t.pregapInFile, t.pregap);
}

int ReadTrackData(image::TrackList* list, int32_t position, void* buffer, uint32_t sectors) {
    const image::TrackEntry* t = DecodedTrack(list, position);
    if (t == nullptr || buffer == nullptr) {
        platform::SetLastError(platform::kErrorNotSupported);
        return 0;
    }
    const int64_t start = std::max<int64_t>(GetTrackSourceStart(list, position), 0);
    return ReadDecodedSectorsOn(t->fileName, start, buffer, sectors, t->endOffset);
}

int ReadTrackSectors(const image::TrackList* list, int32_t position, int64_t fileSector, void* buffer,
                     uint32_t sectors) {
    const image::TrackEntry* t = DecodedTrack(list, position);
    if (t == nullptr || buffer == nullptr) {
        platform::SetLastError(platform::kErrorNotSupported);
        return 0;
    }
    return ReadDecodedSectors(t->fileName, fileSector, buffer, sectors, t->endOffset);
}

}  // namespace audio
