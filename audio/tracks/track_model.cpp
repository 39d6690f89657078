#include "audio/tracks/track_model.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <string>
#include <utility>

#include "audio/decoder/music_decoder.h"
#include "audio/decoder/music_input.h"
#include "audio/decoder/shared_decoder.h"
#include "audio/tracks/track_source.h"
#include "foundation/file_io.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "image/document/image_context.h"
#include "image/sheets/cdtext.h"
#include "image/sheets/track_list.h"
#include "platform/last_error.h"

namespace audio {
namespace {

constexpr uint32_t kAddAgainText = 1880;
constexpr int32_t kDataTrackPregap = 150;
constexpr int32_t kRawSectorBytes = 2352;
constexpr uint32_t kAddedMusicFlag = 1;
constexpr size_t kMaxTitleUnits = 127;

image::TrackList* ListOf(image::ImageContext* document) {
    return document ? document->trackList : nullptr;
}

int32_t CountOf(const image::TrackList& list) { return std::clamp(list.trackCount, 0, image::kMaxTracks); }

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// 1 go on, 0 do not add (No), -1 do not add and stop (Cancel).
int AskAboutDuplicate(const image::TrackList& list, std::u16string_view path, int fd) {
    struct stat added {};
    if (fstat(fd, &added) != 0) return 1;
    for (int32_t i = 0; i < CountOf(list); ++i) {
        const image::TrackEntry& t = list.tracks[size_t(i)];
        if (t.mode != image::track_mode::kAudio || !t.fileHandle) continue;
        struct stat held {};
        if (fstat(platform::FileDescriptor(t.fileHandle.get()), &held) != 0 || !SameFile(held, added)) continue;
        std::u16string text(path);
        text += u"\r\n\r\n";
        text += foundation::GetLangString(kAddAgainText,
                                          u"File already exists. Do you really want to add the file again?");
        const int answer =
            foundation::AppMessageBox(text, foundation::kMbYesNoCancel | foundation::kMbIconQuestion);
        if (answer == foundation::kIdYes) return 1;
        if (answer == foundation::kIdCancel) {
            foundation::OperationStatus = 1;
            return -1;
        }
        return 0;
    }
    return 1;
}

// The part after the last '/', cut at its last dot.
std::u16string TitleFromPath(std::u16string_view path) {
    const size_t slash = path.find_last_of(u'/');
    std::u16string_view name = slash == std::u16string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string_view::npos && dot > 0) name = name.substr(0, dot);
    std::u16string title(name.substr(0, kMaxTitleUnits));
    if (title.size() == kMaxTitleUnits && title.back() >= 0xD800 && title.back() <= 0xDBFF) title.pop_back();
    return title;
}

void StoreTags(image::TrackList& list, int32_t position, platform::FileHandle file, std::u16string_view path,
               int32_t kind) {
    DecodedTags tags;
    if (kind == kSourceDecoder) {
        MusicDecoder decoder;
        if (decoder.OpenHandle(file, path)) tags = decoder.ReadTags();
    }
    if (tags.title.empty()) tags.title = TitleFromPath(path);
    image::TrackDetail* detail = image::GetTrackCdText(position + 1, &list);
    if (detail == nullptr) return;
    auto put = [&](int slot, const std::u16string& text) {
        if (!text.empty()) detail->texts[size_t(slot)] = text;
    };
    put(image::cdtext_slot::kTitle, tags.title);
    put(image::cdtext_slot::kPerformer, tags.artist);
    put(image::cdtext_slot::kComposer, tags.composer);
    put(image::cdtext_slot::kComment, tags.comment);
    image::UpdateCdTextAnsi(detail);
}

// Entries position..count-1 (with their CD-TEXT) move one place up.
void OpenTrackSlot(image::TrackList& list, int32_t position) {
    const int32_t count = CountOf(list);
    for (int32_t i = count; i > position; --i) {
        list.tracks[size_t(i)] = std::move(list.tracks[size_t(i - 1)]);
        list.details[size_t(i + 1)] = std::move(list.details[size_t(i)]);
    }
    list.tracks[size_t(position)] = image::TrackEntry{};
    list.details[size_t(position + 1)].reset();
}

// The entry at position goes; the ones after it move one place down.
void CloseTrackSlot(image::TrackList& list, int32_t position) {
    const int32_t count = CountOf(list);
    for (int32_t i = position; i + 1 < count; ++i) {
        list.tracks[size_t(i)] = std::move(list.tracks[size_t(i + 1)]);
        list.details[size_t(i + 1)] = std::move(list.details[size_t(i + 2)]);
    }
    list.tracks[size_t(count - 1)] = image::TrackEntry{};
    list.details[size_t(count)].reset();
}

void SwapTracks(image::ImageContext* document, int32_t a, int32_t b) {
    image::TrackList* list = ListOf(document);
    if (list == nullptr || a == b) return;
    const int32_t count = CountOf(*list);
    if (a < 0 || b < 0 || a >= count || b >= count) return;
    std::swap(list->tracks[size_t(a)], list->tracks[size_t(b)]);
    std::swap(list->details[size_t(a + 1)], list->details[size_t(b + 1)]);
    RecalcTrackOffsets(document);
}

}  // namespace

int AddMusicFile(image::ImageContext* document, std::u16string_view path, int32_t position, bool ask) {
    image::TrackList* list = ListOf(document);
    if (list == nullptr || path.empty()) return -1;
    const int32_t count = CountOf(*list);
    if (position == -1) position = document->trailingTrack != 0 && count > 0 ? count - 1 : count;
    if (position < 0 || position > count) position = count;

    // A FIFO or a device would never end: regular files only, opened
    // without waiting for a writer.
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        if (ask) foundation::ShowLastError(path);
        return -1;
    }
    foundation::UniqueFile file(platform::FileFromDescriptor(fd));
    if (!file) return -1;
    if (ask) {
        const int go = AskAboutDuplicate(*list, path, fd);
        if (go <= 0) return -1;
    }
    if (count >= image::kMaxTracks) return -1;
    PlayerStopServices().StopPlayer();

    int32_t kind = 0;
    int64_t dataOffset = 0, dataSize = 0;
    const int64_t sectors = ProbeAudioFile(file.get(), path, &kind, &dataOffset, &dataSize);
    if (sectors < 1 || sectors > INT32_MAX) {
        std::u16string text(path);
        text += u"\r\n\r\nError decoding music files.";
        foundation::AppMessageBox(text, foundation::kMbOk);
        return -1;
    }
    std::u16string name(path);

    OpenTrackSlot(*list, position);
    image::TrackEntry& t = list->tracks[size_t(position)];
    t.session = 0;
    t.audioSourceKind = kind;
    t.mode = image::track_mode::kAudio;
    t.dataOffset = dataOffset;
    t.fileDataOffset = dataOffset;
    t.readPosition = dataOffset;
    t.length = int32_t(sectors);
    // The sector reader stops here: the data chunk, clipped to the file, or
    // the decoded length.
    t.endOffset = dataOffset + dataSize;
    t.sourceSize = dataSize;
    t.sectorSize = kRawSectorBytes;
    t.flags |= kAddedMusicFlag;
    t.fileName = std::move(name);
    t.fileHandle = std::move(file);
    list->trackCount = count + 1;
    RecalcTrackOffsets(document);
    StoreTags(*list, position, t.fileHandle.get(), path, kind);
    return 0;
}

void RemoveAudioTrack(image::ImageContext* document, int32_t position) {
    image::TrackList* list = ListOf(document);
    if (list == nullptr || position < 0 || position >= CountOf(*list)) return;
    CloseTrackSlot(*list, position);
    list->trackCount = CountOf(*list) - 1;
    RecalcTrackOffsets(document);
    if (list->playingTrack >= list->trackCount) list->playingTrack = list->trackCount - 1;
}

void MoveTrackUp(image::ImageContext* document, int32_t position) { SwapTracks(document, position, position - 1); }

void MoveTrackDown(image::ImageContext* document, int32_t position) { SwapTracks(document, position, position + 1); }

void RecalcTrackOffsets(image::ImageContext* document) {
    image::TrackList* list = ListOf(document);
    if (list == nullptr) return;
    const int32_t count = CountOf(*list);
    image::TrackEntry& first = list->tracks[0];
    first.startSector = 0;
    first.pregap = 0;
    first.pregapInFile = 0;
    for (int32_t i = 1; i <= count; ++i) {
        image::TrackEntry& previous = list->tracks[size_t(i - 1)];
        image::TrackEntry& t = list->tracks[size_t(i)];
        if (i == 1 && first.mode != image::track_mode::kAudio) t.pregap = kDataTrackPregap;
        // Summed wide: lengths come from files and sheets.
        const int64_t start = int64_t(previous.startSector) + std::max(previous.length, 0) +
                              std::max(previous.postgap, 0) + std::max(t.pregap, 0);
        t.startSector = int32_t(std::min<int64_t>(start, INT32_MAX));
        if (t.mode == image::track_mode::kNone) t.mode = image::track_mode::kAudio;
    }
}

}  // namespace audio
