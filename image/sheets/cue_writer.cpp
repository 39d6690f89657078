#include "image/sheets/cue_writer.h"

#include <algorithm>
#include <vector>

#include "foundation/messages.h"
#include "foundation/paths.h"
#include "image/sheets/cdtext.h"
#include "image/document/image_context.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/staged_file.h"
#include "platform/text.h"

namespace image {

namespace {

std::u16string Time(int64_t sectors) {
    if (sectors < 0) sectors = 0;
    return platform::Format(u"%02d:%02d:%02d", static_cast<int>(sectors / 4500), static_cast<int>(sectors / 75 % 60),
                            static_cast<int>(sectors % 75));
}

// A text inside double quotes cannot hold one; it gets a single quote instead.
// A line break (or any other control character, as CD-TEXT files may carry)
// would end the line and let the rest of the text stand as a keyword line of
// its own; it becomes a blank.
std::u16string Quoted(const std::u16string& text) {
    std::u16string out = text;
    for (char16_t& c : out) {
        if (c == u'"') c = u'\'';
        else if (c < 0x20 || c == 0x7F) c = u' ';
    }
    return out;
}

// A FILE name is written as it is, so one that a sheet cannot carry (a double
// quote ends it, a control character ends the line) is refused.
bool IsWritableFileName(std::u16string_view name) {
    for (char16_t c : name) {
        if (c == u'"' || c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

bool IsMode2(uint8_t mode) {
    return mode == track_mode::kMode2 || mode == track_mode::kMode2Form1 || mode == track_mode::kMode2Form2 ||
           mode == track_mode::kMode2Raw || mode == track_mode::kMode2Mixed;
}

// The sheet's bytes: the ANSI code page, or UTF-8 with its byte-order mark
// when the ANSI page cannot carry the FILE name (the sheet would name another
// file).
std::string Encode(const std::u16string& text, std::u16string_view fileName) {
    std::string ansi;
    bool lost = false;
    bool converted = platform::Utf16ToMultiByte(platform::kCodePageAnsi, text, ansi, &lost);
    if (converted) {
        std::string nameBytes;
        bool nameLost = false;
        platform::Utf16ToMultiByte(platform::kCodePageAnsi, fileName, nameBytes, &nameLost);
        if (!nameLost) return ansi;
    }
    return "\xEF\xBB\xBF" + platform::Utf16ToUtf8(text);
}

// Writes through a temporary file beside the sheet, renamed over it when
// complete; a failure leaves the old sheet (if any) as it was.
int WriteSheetFile(const std::u16string& imagePath, const std::u16string& sheetPath, const std::string& bytes) {
    platform::StagedFile file;
    const bool ok = file.Begin(sheetPath, {.durable = true}) && file.Write(bytes.data(), bytes.size()) && file.Commit();
    if (!ok) {
        foundation::ShowLastError(imagePath);
        return -1;
    }
    return 0;
}

int WriteSheet(const std::u16string& imagePath, const std::u16string& text, std::u16string_view fileName) {
    std::u16string sheetPath = foundation::ChangeFileExtension(imagePath, u"cue", foundation::MissingExtension::Append);
    if (foundation::AskOverwriteFile(sheetPath) != 0) return -1;
    return WriteSheetFile(imagePath, sheetPath, Encode(text, fileName));
}

int RefuseName(const std::u16string& imagePath) {
    platform::SetLastError(platform::kErrorInvalidName);
    foundation::ShowLastError(imagePath);
    return -1;
}

}  // namespace

bool BuildSingleTrackCueText(std::u16string_view fileName, std::u16string& text) {
    if (!IsWritableFileName(fileName)) return false;
    text = platform::Format(u"FILE \"%s\" BINARY\r\n", fileName);
    text += u"  TRACK 01 MODE1/2352\r\n";
    text += u"    INDEX 01 00:00:00\r\n";
    return true;
}

bool BuildFullCueText(std::u16string_view fileName, const TrackList& list, bool wave,
                      std::span<const int32_t> chosen, std::u16string& text) {
    if (!IsWritableFileName(fileName)) return false;
    text.clear();
    int32_t count = std::clamp(list.trackCount, 0, kMaxTracks);
    bool cdText = HasCdText(&list) != 0;
    const TrackDetail* disc = list.details[0].get();
    if (cdText && disc) {
        const std::pair<int, const char16_t*> discLines[] = {
            {cdtext_slot::kUpcIsrc, u"CATALOG"}, {cdtext_slot::kPerformer, u"PERFORMER"},
            {cdtext_slot::kSongwriter, u"SONGWRITER"}, {cdtext_slot::kComposer, u"COMPOSER"},
            {cdtext_slot::kTitle, u"TITLE"},
        };
        for (const auto& [slot, keyword] : discLines) {
            if (!disc->texts[slot].empty()) text += platform::Format(u"%s \"%s\"\r\n", keyword, Quoted(disc->texts[slot]));
        }
    }
    text += platform::Format(wave ? u"FILE \"%s\" WAVE\r\n" : u"FILE \"%s\" BINARY\r\n", fileName);

    std::vector<int32_t> positions;
    if (wave && !chosen.empty()) {
        for (int32_t p : chosen) {
            if (p >= 0 && p < count) positions.push_back(p);
        }
    } else {
        for (int32_t p = 0; p < count; ++p) positions.push_back(p);
    }

    int32_t lastSession = -1;
    int64_t running = 0;
    int number = 0;
    for (int32_t p : positions) {
        const TrackEntry& track = list.tracks[static_cast<size_t>(p)];
        const TrackDetail* detail = list.details[static_cast<size_t>(p) + 1].get();
        bool audio = track.mode == track_mode::kAudio;
        bool first = number == 0;
        ++number;
        if (list.sessionCount > 1 && track.session != lastSession) {
            text += platform::Format(u"REM SESSION %02d\r\n", track.session + 1);
            lastSession = track.session;
        }
        if (audio) {
            text += platform::Format(u"  TRACK %02d %s\r\n", number, u"AUDIO");
        } else {
            text += platform::Format(u"  TRACK %02d %s/%d\r\n", number, IsMode2(track.mode) ? u"MODE2" : u"MODE1",
                                     list.imageSectorSize);
        }
        bool trackTexts = audio && cdText && detail;
        if (trackTexts) {
            const std::pair<int, const char16_t*> trackLines[] = {
                {cdtext_slot::kTitle, u"TITLE"}, {cdtext_slot::kPerformer, u"PERFORMER"},
                {cdtext_slot::kUpcIsrc, u"ISRC"}, {cdtext_slot::kSongwriter, u"SONGWRITER"},
                {cdtext_slot::kComposer, u"COMPOSER"},
            };
            for (const auto& [slot, keyword] : trackLines) {
                if (!detail->texts[slot].empty()) {
                    text += platform::Format(u"    %s \"%s\"\r\n", keyword, Quoted(detail->texts[slot]));
                }
            }
        }
        int64_t index01;
        if (wave) {
            if (track.pregap > 0 && !first) text += platform::Format(u"    INDEX 00 %s\r\n", Time(running));
            index01 = first ? running : running + track.pregap;
        } else {
            // A pregap reaching before the start of the disc (a first track of a
            // disc list) has no place in a file.
            if (track.pregap > 0 && int64_t{track.startSector} - track.pregap >= 0) {
                text += platform::Format(u"    INDEX 00 %s\r\n", Time(int64_t{track.startSector} - track.pregap));
            }
            index01 = track.startSector;
        }
        text += platform::Format(u"    INDEX 01 %s\r\n", Time(index01));
        if (trackTexts && detail->lastIndex > 1) {
            int32_t last = std::min(detail->lastIndex, 99);
            int32_t previousOffset = 0;
            for (int32_t n = 2; n <= last; ++n) {
                int32_t offset = detail->indexOffsets[static_cast<size_t>(n)];
                // INDEX points must rise, or the sheet would not read again.
                if (offset <= previousOffset || offset >= track.length) break;
                previousOffset = offset;
                text += platform::Format(u"    INDEX %02d %s\r\n", n, Time(int64_t{track.startSector} + offset));
            }
        }
        if (wave) running += int64_t{track.length} + track.postgap + track.pregap;
    }
    return true;
}

int WriteSingleTrackCueSheet(const std::u16string& imagePath) {
    std::u16string name = foundation::NameOfPath(imagePath);
    std::u16string text;
    if (!BuildSingleTrackCueText(name, text)) return RefuseName(imagePath);
    return WriteSheet(imagePath, text, name);
}

int WriteFullCueSheet(const std::u16string& imagePath, const TrackList& list, bool wave,
                      std::span<const int32_t> chosen) {
    std::u16string name = foundation::NameOfPath(imagePath);
    std::u16string text;
    if (!BuildFullCueText(name, list, wave, chosen, text)) return RefuseName(imagePath);
    return WriteSheet(imagePath, text, name);
}

int WriteSessionCueSheet(const std::u16string& imagePath, ImageContext& ctx) {
    TrackListPtr list = ctx.trackList ? CopyTrackList(ctx.trackList) : NewDiscTrackList(ctx.endSector);
    if (!list || list->trackCount >= kMaxTracks) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        foundation::ShowLastError(imagePath);
        return -1;
    }
    int32_t session = std::max(list->sessionCount, 1);
    TrackEntry& track = list->tracks[static_cast<size_t>(list->trackCount)];
    track = TrackEntry{};
    track.mode = track_mode::kMode1;
    track.startSector = ctx.sessionStartLba;
    track.length = std::max(ctx.nextWritableSector - ctx.sessionStartLba, 0);
    track.sectorSize = list->imageSectorSize > 0 ? list->imageSectorSize : 2048;
    track.session = session;
    ++list->trackCount;
    list->sessionCount = session + 1;
    if (list->imageSectorSize == 0) list->imageSectorSize = 2048;
    return WriteFullCueSheet(imagePath, *list, false);
}

int WriteCueSheet(const std::u16string& imagePath, ImageContext& ctx) {
    if (ctx.multiSession && ctx.sessionStartLba > 0) return WriteSessionCueSheet(imagePath, ctx);
    if (!ctx.trackList || ctx.discSource) return WriteSingleTrackCueSheet(imagePath);
    return WriteFullCueSheet(imagePath, *ctx.trackList, false);
}

}  // namespace image
