#include "image/sheets/track_list.h"

#include "foundation/name_lookup.h"
#include "foundation/paths.h"
#include "image/sheets/cue_parser.h"
#include "image/sheets/cue_parser_names.h"
#include "image/sheets/mds_parser.h"
#include "platform/file.h"
#include "platform/text.h"

namespace image {

namespace {

// A sheet without REM SESSION lines has a session count of 0 but still one
// session: its tracks all carry session 0.
int32_t EffectiveSessionCount(const TrackList& list) {
    return list.sessionCount > 0 ? list.sessionCount : 1;
}

int32_t TrackCount(const TrackList& list) {
    if (list.trackCount < 0) return 0;
    return list.trackCount > kMaxTracks ? kMaxTracks : list.trackCount;
}

}  // namespace

TrackListPtr NewTrackList() {
    return std::make_unique<TrackList>();
}

void FreeTrackList(TrackList* list) {
    delete list;
}

TrackDetail* GetTrackCdText(int32_t track, TrackList* list) {
    if (!list || track < 0 || track >= kTrackSlots) return nullptr;
    auto& slot = list->details[static_cast<size_t>(track)];
    if (!slot) slot = std::make_unique<TrackDetail>();
    return slot.get();
}

int IsValidTrackList(const TrackList* list, const std::u16string* imagePath) {
    if (!list || list->trackCount < 1 || list->trackCount > kMaxTracks) return 0;
    for (int32_t i = 1; i < list->trackCount; ++i) {
        if (list->tracks[i].startSector <= list->tracks[i - 1].startSector) return 0;
    }
    if (imagePath && !platform::EqualsNoCase(list->firstFilePath, *imagePath)) return 0;
    return 1;
}

int32_t GetTrackListEndSector(const TrackList* list) {
    if (!list) return 0;
    int32_t count = TrackCount(*list);
    if (count == 0) return 0;
    const TrackEntry& last = list->tracks[count - 1];
    // The sheet parsers refuse an end past 32 bits; a list built another way
    // is clamped rather than wrapped to a negative end.
    const int64_t end = int64_t{last.startSector} + last.postgap + last.length;
    return end > INT32_MAX ? INT32_MAX : static_cast<int32_t>(end);
}

int TrimToAudioTracks(TrackList* list, int32_t firstTrack) {
    if (!list || firstTrack < 0) return 0;
    int32_t count = TrackCount(*list);
    if (firstTrack >= count || list->tracks[firstTrack].mode != track_mode::kAudio) return 0;
    if (firstTrack == 0) {
        int32_t audio = 0;
        while (audio < count && list->tracks[audio].mode == track_mode::kAudio) ++audio;
        // The cut tracks leave nothing behind: no open handles, no stale texts.
        for (int32_t i = audio; i < count; ++i) {
            list->tracks[i] = TrackEntry{};
            list->details[i + 1].reset();
        }
        list->trackCount = audio;
    }
    return 1;
}

int HasMixedTracks(const TrackList* list, int32_t firstTrack) {
    if (!list || firstTrack < 0) return 0;
    bool audio = false;
    bool data = false;
    for (int32_t i = firstTrack; i < TrackCount(*list); ++i) {
        if (list->tracks[i].mode == track_mode::kAudio) audio = true;
        else data = true;
    }
    return audio && data ? 1 : 0;
}

int32_t GetTrackStart(const TrackList* list, int32_t session, int32_t track) {
    if (!list || session < 0 || track < 0) return -1;
    if (session >= EffectiveSessionCount(*list) || track >= TrackCount(*list)) return -1;
    // The track-th track of the session.
    int32_t seen = 0;
    for (int32_t i = 0; i < TrackCount(*list); ++i) {
        if (list->tracks[i].session != session) continue;
        if (seen == track) return list->tracks[i].startSector;
        ++seen;
    }
    return -1;
}

int32_t FindTrackOfSession(const TrackList* list, int32_t session) {
    if (!list) return -1;
    for (int32_t i = 0; i < TrackCount(*list); ++i) {
        if (list->tracks[i].session == session) return i;
    }
    return -1;
}

int32_t FindDataTrackOfSession(const TrackList* list, int32_t session) {
    if (!list) return -1;
    for (int32_t i = 0; i < TrackCount(*list); ++i) {
        if (list->tracks[i].session == session && list->tracks[i].mode != track_mode::kAudio) return i;
    }
    return -1;
}

int32_t GetSessionSectors(const TrackList* list, int32_t session) {
    if (!list) return 0;
    int64_t sum = 0;
    for (int32_t i = 0; i < TrackCount(*list); ++i) {
        if (list->tracks[i].session == session) sum += list->tracks[i].length;
    }
    return sum > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sum);
}

int64_t GetSessionBytes(const TrackList* list, int32_t session) {
    int32_t first = FindTrackOfSession(list, session);
    if (first < 0) return 0;
    int64_t sectors = GetSessionSectors(list, session);
    bool raw = list->tracks[first].mode == track_mode::kAudio && list->imageSectorSize != 2048;
    return sectors * (raw ? 2352 : 2048);
}

TrackListPtr CopyTrackList(const TrackList* list) {
    if (!list) return nullptr;
    auto copy = NewTrackList();
    copy->trackCount = list->trackCount;
    copy->firstTrackNumber = list->firstTrackNumber;
    copy->pregapByteTotal = list->pregapByteTotal;
    for (size_t i = 0; i < list->tracks.size(); ++i) {
        const TrackEntry& from = list->tracks[i];
        TrackEntry& to = copy->tracks[i];
        to.mode = from.mode;
        to.startSector = from.startSector;
        to.pregap = from.pregap;
        to.pregapInFile = from.pregapInFile;
        to.postgap = from.postgap;
        to.storedPostgap = from.storedPostgap;
        to.length = from.length;
        to.pauseFrames = from.pauseFrames;
        to.gapFrames = from.gapFrames;
        to.endOffset = from.endOffset;
        to.dataOffset = from.dataOffset;
        to.readPosition = from.readPosition;
        to.sourceSize = from.sourceSize;
        to.sectorSize = from.sectorSize;
        to.audioSourceKind = from.audioSourceKind;
        // File names and handles stay with the original list.
        to.fileDataOffset = from.fileDataOffset;
        to.flags = from.flags;
        to.session = from.session;
        to.index01Position = from.index01Position;
        to.spareWord = from.spareWord;
        to.videoCdBlock = from.videoCdBlock;
        to.mpegInfo = from.mpegInfo;
        to.iconIndexPlusOne = from.iconIndexPlusOne;
        to.displayName = from.displayName;
    }
    copy->firstFilePath = list->firstFilePath;
    copy->sheetPath = list->sheetPath;
    copy->sessionCount = list->sessionCount;
    copy->imageSectorSize = list->imageSectorSize;
    copy->cdTextFile = list->cdTextFile;
    // Each list owns its own CD-TEXT records, so freeing one never frees the other's.
    for (size_t i = 0; i < list->details.size(); ++i) {
        if (list->details[i]) copy->details[i] = std::make_unique<TrackDetail>(*list->details[i]);
    }
    copy->rwSubchannel = list->rwSubchannel;
    copy->selectedTrack = list->selectedTrack;
    copy->playingTrack = list->playingTrack;
    copy->cookedReadsOnly = list->cookedReadsOnly;
    copy->sourceIsVirtualDrive = list->sourceIsVirtualDrive;
    copy->discKind = list->discKind;
    copy->discStatus = list->discStatus;
    copy->lastSessionState = list->lastSessionState;
    copy->mediaCode = list->mediaCode;
    return copy;
}

TrackListPtr NewDiscTrackList(int32_t endSector) {
    auto list = NewTrackList();
    list->trackCount = 1;
    list->firstTrackNumber = 1;
    list->sessionCount = 1;
    list->imageSectorSize = 2048;
    TrackEntry& t = list->tracks[0];
    t.mode = track_mode::kMode1;
    t.startSector = 0;
    t.length = endSector > 0 ? endSector : 0;
    t.sectorSize = 2048;
    list->tracks[1].startSector = t.length;
    return list;
}

namespace {

// Every named file is first tried as a sheet. A CUE sheet is text: control
// bytes other than line breaks, tabs, end-of-file marks and padding NULs in
// its first 4 KiB mean an image or some other binary file, which is then
// not read and split into lines as one (the file is opened as what it is).
bool MayBeCueText(const std::u16string& path) {
    platform::FileHandle file =
        platform::FileOpen(path, platform::FileAccess::Read, platform::FileDisposition::OpenExisting);
    if (!file) return true;   // the parser reports why it cannot be read
    uint8_t head[4096];
    const int64_t got = platform::FileReadAt(file, 0, head, sizeof head);
    platform::FileClose(file);
    if (got <= 0) return true;
    bool text = false;
    for (int64_t i = 0; i < got; ++i) {
        const uint8_t c = head[i];
        if (c == 0 || c == '\t' || c == '\n' || c == '\r' || c == 0x1A || c == ' ') continue;
        if (c < 0x20 || c == 0x7F) return false;
        text = true;
    }
    return text;
}

}  // namespace

TrackListPtr OpenSheet(const std::u16string& sheetPath) {
    TrackListPtr list = MayBeCueText(sheetPath) ? ParseCueSheet(sheetPath) : nullptr;
    if (list && IsValidTrackList(list.get(), nullptr)) return list;
    list = ParseMdsFile(sheetPath);
    if (list && IsValidTrackList(list.get(), nullptr)) return list;
    return nullptr;
}

std::u16string FindCompanionSheet(const std::u16string& imagePath) {
    std::u16string name = foundation::NameOfPath(imagePath);
    size_t dot = name.rfind(u'.');
    if (dot == std::u16string::npos || dot == 0) return std::u16string();
    std::u16string extension = name.substr(dot + 1);
    std::u16string sheetExtension;
    if (platform::EqualsNoCase(extension, u"bin")) sheetExtension = u"cue";
    else if (platform::EqualsNoCase(extension, u"mdf")) sheetExtension = u"mds";
    else return std::u16string();
    std::u16string folder = foundation::FolderOfPath(imagePath);
    std::u16string sheetName = foundation::FindNameNoCase(folder, name.substr(0, dot + 1) + sheetExtension);
    if (sheetName.empty()) return std::u16string();
    std::u16string sheetPath = foundation::CombinePath(folder, sheetName);
    TrackListPtr list = OpenSheet(sheetPath);
    if (!list || !IsValidTrackList(list.get(), &imagePath)) return std::u16string();
    return sheetPath;
}

}  // namespace image
