#include "image/sheets/cue_parser.h"

#include <algorithm>
#include <string_view>

#include "foundation/byte_cursor.h"
#include "image/sectors/audio_services.h"
#include "image/sheets/cdtext.h"
#include "image/sheets/cue_parser_names.h"
#include "image/sheets/cue_parser_tokens.h"
#include "platform/file.h"
#include "platform/text.h"

namespace image {

namespace {


constexpr int64_t kMinFileBytes = 2048;
constexpr size_t kMaxTextChars = 80;
// INDEX 00 closer than this to the previous track's INDEX 01 is taken as part of
// that track: two seconds is the shortest pregap a disc can carry.
constexpr int32_t kMinPregapDistance = 150;

enum State : int {
    kStart = 0,
    kFileRead = 1,
    kTrackRead = 2,
    kFlagsRead = 3,
    kPregapRead = 4,
    kIndex00Read = 5,
    kIndex01Read = 6,
    kPostgapRead = 7,
};

struct TrackModeName {
    std::u16string_view name;
    uint8_t mode;
    int32_t sectorSize;
};

constexpr TrackModeName kTrackModes[] = {
    {u"AUDIO", track_mode::kAudio, 2352},
    {u"MODE1/2352", track_mode::kMode1Raw, 2352},
    {u"MODE2/2352", track_mode::kMode2Raw, 2352},
    {u"MODE1/2048", track_mode::kMode1, 2048},
    {u"MODE2/2336", track_mode::kMode2, 2336},
    // Written by our own CUE writer for Mode 2 images kept in 2048-byte sectors.
    {u"MODE2/2048", track_mode::kMode2Form1, 2048},
};

enum class FileType { Binary, Motorola, Aiff, Wave, Mp3 };

struct CueFile {
    std::u16string path;
    foundation::UniqueFile handle;
    int64_t size = 0;          // BINARY: the file's size; audio: data offset + data size
    int64_t dataOffset = 0;
    int32_t sectorSize = 0;    // fixed by the first TRACK of the file (audio files: 2352)
    int64_t sectorCount = 0;
    int32_t audioKind = 0;
    bool audioFile = false;
    bool motorola = false;
    bool tracked = false;
};

class CueParser {
public:
    explicit CueParser(const std::u16string& sheetPath) : sheetPath_(sheetPath), list_(NewTrackList()) {}

    TrackListPtr Run(SheetDiagnostics* diagnostics);

private:
    bool Fail(SheetError error) {
        error_ = error;
        return false;
    }
    bool HandleLine(std::u16string_view line);
    bool Catalog(SheetTokenizer& tokens);
    bool CdTextFile(SheetTokenizer& tokens);
    bool File(SheetTokenizer& tokens);
    bool Flags(SheetTokenizer& tokens);
    bool Track(SheetTokenizer& tokens);
    bool Isrc(SheetTokenizer& tokens);
    bool Text(SheetTokenizer& tokens, int slot);
    bool Pregap(SheetTokenizer& tokens);
    bool Index(SheetTokenizer& tokens);
    bool Postgap(SheetTokenizer& tokens);
    bool Rem(SheetTokenizer& tokens);

    bool InState(int low, int high) const { return state_ >= low && state_ <= high; }
    TrackEntry& Current() { return list_->tracks[static_cast<size_t>(list_->trackCount - 1)]; }
    TrackDetail* CurrentDetail() { return GetTrackCdText(list_->trackCount, list_.get()); }

    // A name's resolved path; kept for the failure report until the next name.
    bool FailWithPath(SheetError error, const std::u16string& path) {
        failedPath_ = path;
        return Fail(error);
    }
    static SheetError NameError(SheetNameStatus status) {
        switch (status) {
        case SheetNameStatus::NotFound: return SheetError::FileNotFound;
        case SheetNameStatus::NotRegularFile: return SheetError::NotAFile;
        default: return SheetError::BadFileName;
        }
    }

    std::u16string sheetPath_;
    std::u16string failedPath_;
    TrackListPtr list_;
    int state_ = kStart;
    CueFile file_;
    bool haveFile_ = false;
    bool newFile_ = false;
    int32_t previousIndex_ = -1;
    SheetError error_ = SheetError::None;
};

bool IsKeyword(const std::u16string& token, std::u16string_view keyword) {
    return platform::EqualsNoCase(token, keyword);
}

TrackListPtr CueParser::Run(SheetDiagnostics* diagnostics) {
    auto report = [&](SheetError error, int32_t line) -> TrackListPtr {
        if (diagnostics) {
            diagnostics->error = error;
            diagnostics->line = line;
            diagnostics->path = failedPath_;
        }
        return nullptr;
    };
    if (sheetPath_.empty() || sheetPath_.size() > kMaxSheetPathChars) return report(SheetError::PathTooLong, 0);

    std::vector<uint8_t> bytes;
    switch (ReadSheetBytes(sheetPath_, bytes)) {
    case SheetReadStatus::Ok: break;
    case SheetReadStatus::Empty: return report(SheetError::Empty, 0);
    case SheetReadStatus::TooLarge: return report(SheetError::TooLarge, 0);
    default: return report(SheetError::ReadFailed, 0);
    }
    std::u16string text = SheetBytesToText(bytes);

    list_->firstTrackNumber = 1;
    list_->sheetPath = sheetPath_;
    int32_t lineNumber = 1;
    size_t counted = 0;
    for (std::u16string_view line : SplitSheetLines(text)) {
        size_t offset = static_cast<size_t>(line.data() - text.data());
        lineNumber += static_cast<int32_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(counted),
                                                      text.begin() + static_cast<std::ptrdiff_t>(offset), u'\n'));
        counted = offset;
        if (!HandleLine(line)) return report(error_, lineNumber);
    }
    file_ = CueFile{};

    if (list_->trackCount < 1) return report(SheetError::NoTracks, 0);
    if (state_ != kIndex01Read && state_ != kPostgapRead) return report(SheetError::MissingIndex01, 0);

    const TrackEntry& last = list_->tracks[static_cast<size_t>(list_->trackCount - 1)];
    // PREGAP and POSTGAP reach 99999:59:74 each; the starts are checked as
    // they come, the end of the last track here.
    const int64_t end = int64_t{last.startSector} + last.length + last.postgap;
    if (end > INT32_MAX) return report(SheetError::BadTrackLength, 0);
    list_->tracks[static_cast<size_t>(list_->trackCount)].startSector = static_cast<int32_t>(end);
    if (!list_->cdTextFile.empty()) ApplyCdTextFile(list_.get(), list_->cdTextFile);
    UpdateTrackListCdTextAnsi(list_.get());
    if (diagnostics) *diagnostics = SheetDiagnostics{};
    return std::move(list_);
}

bool CueParser::HandleLine(std::u16string_view line) {
    SheetTokenizer tokens(line);
    std::u16string keyword;
    if (!tokens.Next(keyword)) return true;
    if (IsKeyword(keyword, u"CATALOG")) return Catalog(tokens);
    if (IsKeyword(keyword, u"CDTEXTFILE")) return CdTextFile(tokens);
    if (IsKeyword(keyword, u"FILE")) return File(tokens);
    if (IsKeyword(keyword, u"FLAGS")) return Flags(tokens);
    if (IsKeyword(keyword, u"TRACK")) return Track(tokens);
    if (IsKeyword(keyword, u"ISRC")) return Isrc(tokens);
    if (IsKeyword(keyword, u"PERFORMER")) return Text(tokens, cdtext_slot::kPerformer);
    if (IsKeyword(keyword, u"TITLE")) return Text(tokens, cdtext_slot::kTitle);
    if (IsKeyword(keyword, u"SONGWRITER")) return Text(tokens, cdtext_slot::kSongwriter);
    if (IsKeyword(keyword, u"COMPOSER")) return Text(tokens, cdtext_slot::kComposer);
    if (IsKeyword(keyword, u"PREGAP")) return Pregap(tokens);
    if (IsKeyword(keyword, u"INDEX")) return Index(tokens);
    if (IsKeyword(keyword, u"POSTGAP")) return Postgap(tokens);
    if (IsKeyword(keyword, u"REM")) return Rem(tokens);
    return true;   // keywords of other tools (ARRANGER, MESSAGE ...) are skipped
}

bool CueParser::Catalog(SheetTokenizer& tokens) {
    if (state_ != kStart) return Fail(SheetError::KeywordNotAllowed);
    std::u16string text;
    tokens.Next(text);
    if (!tokens.AtEnd()) return Fail(SheetError::ExtraToken);
    if (!text.empty()) GetTrackCdText(0, list_.get())->texts[cdtext_slot::kUpcIsrc] = text;
    return true;
}

bool CueParser::CdTextFile(SheetTokenizer& tokens) {
    if (state_ != kStart) return Fail(SheetError::KeywordNotAllowed);
    std::u16string name;
    tokens.Next(name);
    if (!tokens.AtEnd()) return Fail(SheetError::ExtraToken);
    std::u16string path;
    SheetNameStatus status = ResolveSheetFileName(sheetPath_, name, path);
    if (status != SheetNameStatus::Ok && status != SheetNameStatus::NotFound) return FailWithPath(NameError(status), path);
    if (!ReadCdTextFile(path, list_->cdTextFile)) return FailWithPath(SheetError::CdTextFile, path);
    return true;
}

bool CueParser::File(SheetTokenizer& tokens) {
    if (state_ != kStart && state_ != kIndex01Read && state_ != kPostgapRead) {
        return Fail(state_ == kFileRead ? SheetError::KeywordNotAllowed : SheetError::MissingIndex01);
    }
    std::u16string name, typeName;
    tokens.Next(name);
    tokens.Next(typeName);
    if (!tokens.AtEnd()) return Fail(SheetError::ExtraToken);

    FileType type;
    if (IsKeyword(typeName, u"BINARY")) type = FileType::Binary;
    else if (IsKeyword(typeName, u"MOTOROLA")) type = FileType::Motorola;
    else if (IsKeyword(typeName, u"AIFF")) type = FileType::Aiff;
    else if (IsKeyword(typeName, u"WAVE")) type = FileType::Wave;
    else if (IsKeyword(typeName, u"MP3")) type = FileType::Mp3;
    else return Fail(SheetError::BadFileType);

    file_ = CueFile{};   // closes the previous FILE
    haveFile_ = false;
    std::u16string path;
    if (SheetNameStatus status = ResolveSheetFileName(sheetPath_, name, path); status != SheetNameStatus::Ok)
        return FailWithPath(NameError(status), path);
    foundation::UniqueFile handle(platform::FileOpen(path, platform::FileAccess::Read,
                                                     platform::FileDisposition::OpenExisting));
    if (!handle) return FailWithPath(SheetError::FileNotFound, path);
    uint64_t size = 0;
    if (!platform::FileGetSize(handle.get(), size)) return FailWithPath(SheetError::FileNotFound, path);
    if (size < static_cast<uint64_t>(kMinFileBytes)) return FailWithPath(SheetError::FileTooSmall, path);

    file_.path = path;
    file_.size = static_cast<int64_t>(size);
    file_.motorola = type == FileType::Motorola;
    if (type == FileType::Aiff || type == FileType::Wave || type == FileType::Mp3) {
        int32_t kind = 0;
        int64_t dataOffset = 0, dataSize = 0;
        // Without the audio side only plain WAVE files can be read, and that
        // much the parser does itself.
        IAudioServices* audio = AudioServicesSlot().Installed();
        int64_t sectors = audio ? audio->ProbeAudioFile(handle.get(), path, &kind, &dataOffset, &dataSize)
                                : ProbeWaveFile(handle.get(), path, kind, dataOffset, dataSize);
        if (sectors < 1 || dataOffset < 0 || dataSize < 1) return FailWithPath(SheetError::AudioProbeFailed, path);
        file_.audioFile = true;
        file_.audioKind = kind;
        file_.dataOffset = dataOffset;
        file_.size = dataOffset + dataSize;
        file_.sectorSize = 2352;
    }
    file_.handle = std::move(handle);
    haveFile_ = true;
    if (list_->trackCount == 0) list_->firstFilePath = path;
    previousIndex_ = -1;
    newFile_ = true;
    state_ = kFileRead;
    return true;
}

bool CueParser::Flags(SheetTokenizer& tokens) {
    if (!InState(kTrackRead, kPregapRead)) return Fail(SheetError::KeywordNotAllowed);
    TrackDetail* detail = CurrentDetail();
    std::u16string word;
    while (tokens.Next(word)) {
        if (IsKeyword(word, u"DCP")) detail->flags |= track_flag::kDcp;
        else if (IsKeyword(word, u"4CH")) detail->flags |= track_flag::kFourChannel;
        else if (IsKeyword(word, u"PRE")) detail->flags |= track_flag::kPreEmphasis;
        else if (IsKeyword(word, u"SCMS")) detail->flags |= track_flag::kScms;
        else return Fail(SheetError::BadFlags);
    }
    state_ = kFlagsRead;
    return true;
}

bool CueParser::Track(SheetTokenizer& tokens) {
    // A TRACK needs a FILE to live in, and the track before it must have its
    // INDEX 01, or its start and length would stay undefined.
    if (!haveFile_ || state_ == kStart) return Fail(SheetError::NoFile);
    if (InState(kTrackRead, kIndex00Read)) return Fail(SheetError::MissingIndex01);
    std::u16string numberText, modeText;
    tokens.Next(numberText);
    tokens.Next(modeText);
    if (!tokens.AtEnd()) return Fail(SheetError::ExtraToken);
    int32_t number = 0;
    if (!ParseSheetNumber(numberText, number) || number != list_->trackCount + 1) {
        return Fail(SheetError::BadTrackNumber);
    }
    if (number > kMaxTracks) return Fail(SheetError::TooManyTracks);
    const TrackModeName* mode = nullptr;
    for (const TrackModeName& m : kTrackModes) {
        if (IsKeyword(modeText, m.name)) mode = &m;
    }
    if (!mode) return Fail(SheetError::BadTrackMode);
    // Big-endian samples would play and burn as noise.
    if (file_.motorola && mode->mode == track_mode::kAudio) return Fail(SheetError::MotorolaAudio);

    if (!file_.tracked) {
        if (file_.audioFile && mode->sectorSize != file_.sectorSize) return Fail(SheetError::SectorSizeChange);
        file_.sectorSize = mode->sectorSize;
        file_.sectorCount = (file_.size - file_.dataOffset + file_.sectorSize - 1) / file_.sectorSize;
        file_.tracked = true;
    } else if (mode->sectorSize != file_.sectorSize) {
        return Fail(SheetError::SectorSizeChange);
    }

    if (list_->trackCount == 0) list_->imageSectorSize = mode->sectorSize == 2048 ? 2048 : 2352;
    else if (mode->sectorSize != 2048) list_->imageSectorSize = 2352;

    TrackEntry& track = list_->tracks[static_cast<size_t>(list_->trackCount)];
    track.mode = mode->mode;
    track.sectorSize = mode->sectorSize;
    track.session = list_->sessionCount > 1 ? list_->sessionCount - 1 : 0;
    track.fileName = file_.path;
    track.endOffset = file_.size;
    track.sourceSize = file_.size;
    if (file_.path != list_->firstFilePath) {
        track.fileHandle.reset(platform::FileOpen(file_.path, platform::FileAccess::Read,
                                                  platform::FileDisposition::OpenExisting));
        if (!track.fileHandle) return Fail(SheetError::FileNotFound);
    }
    ++list_->trackCount;
    state_ = kTrackRead;
    return true;
}

bool CueParser::Isrc(SheetTokenizer& tokens) {
    if (!InState(kTrackRead, kPregapRead)) return Fail(SheetError::KeywordNotAllowed);
    std::u16string code;
    tokens.Next(code);
    if (!tokens.AtEnd()) return Fail(SheetError::ExtraToken);
    std::u16string isrc;
    if (!CheckIsrc(code, isrc)) return true;   // a malformed code is ignored
    CurrentDetail()->texts[cdtext_slot::kUpcIsrc] = isrc;
    state_ = kFlagsRead;
    return true;
}

bool CueParser::Text(SheetTokenizer& tokens, int slot) {
    if (state_ != kStart && !InState(kTrackRead, kPregapRead)) return Fail(SheetError::KeywordNotAllowed);
    std::u16string text;
    tokens.Next(text);
    if (!tokens.AtEnd()) return Fail(SheetError::ExtraToken);
    if (text.empty()) return true;
    if (text.size() > kMaxTextChars) text.resize(kMaxTextChars);
    GetTrackCdText(list_->trackCount, list_.get())->texts[static_cast<size_t>(slot)] = text;
    return true;
}

bool CueParser::Pregap(SheetTokenizer& tokens) {
    if (!InState(kTrackRead, kPregapRead)) return true;
    int32_t time = 0;
    if (!ReadSheetTime(tokens, time)) return true;
    TrackEntry& track = Current();
    if (track.pregap == 0) {
        track.pregap = time;
        state_ = kPregapRead;
    }
    return true;
}

bool CueParser::Index(SheetTokenizer& tokens) {
    std::u16string numberText;
    int32_t number = 0;
    int32_t position = 0;
    if (!tokens.Next(numberText) || !ParseSheetNumber(numberText, number) || number > 99) {
        return Fail(SheetError::BadIndex);
    }
    if (!ReadSheetTime(tokens, position)) return Fail(SheetError::BadIndex);
    if (!tokens.AtEnd()) return Fail(SheetError::ExtraToken);
    if (list_->trackCount < 1 || !InState(kTrackRead, kIndex01Read)) return Fail(SheetError::KeywordNotAllowed);
    if (position <= previousIndex_) return Fail(SheetError::BadIndex);
    // An INDEX beyond the data would give the track sectors that do not exist.
    if (position >= file_.sectorCount) return Fail(SheetError::IndexPastFile);
    // A disc has far fewer sectors than 32 bits count; a longer file is no track.
    if (file_.sectorCount - position > INT32_MAX) return Fail(SheetError::BadTrackLength);

    TrackEntry& track = Current();
    TrackDetail* detail = CurrentDetail();
    if (InState(kTrackRead, kPregapRead)) {
        if (number > 1) return Fail(SheetError::BadIndex);
    } else if (state_ == kIndex00Read) {
        if (number != 1) return Fail(SheetError::BadIndex);
    } else {
        if (number != std::max(detail->lastIndex, 1) + 1) return Fail(SheetError::BadIndex);
        detail->indexOffsets[static_cast<size_t>(number)] = position - track.index01Position;
        detail->lastIndex = number;
        previousIndex_ = position;
        return true;
    }

    if (number == 0) {
        if (list_->trackCount > 1 && !newFile_) {
            const TrackEntry& previous = list_->tracks[static_cast<size_t>(list_->trackCount - 2)];
            int64_t distance = static_cast<int64_t>(position) - previous.index01Position + previous.postgap -
                               previous.storedPostgap;
            if (distance < kMinPregapDistance) return true;
        }
        detail->indexOffsets[0] = position;
        state_ = kIndex00Read;
        previousIndex_ = position;
        return true;
    }

    if (state_ == kIndex00Read) {
        int32_t index00 = detail->indexOffsets[0];
        detail->indexOffsets[0] = index00 - position;
        track.pregap += position - index00;
        // The INDEX 00 stretch lies in the file: its sectors are read, not made up.
        track.pregapInFile += position - index00;
        detail->lastIndex = 1;
    }
    if (list_->trackCount == 1) {
        track.startSector = track.pregap;
    } else {
        TrackEntry& previous = list_->tracks[static_cast<size_t>(list_->trackCount - 2)];
        if (!newFile_) {
            // PREGAP and POSTGAP are made up, not taken from the file: only
            // the INDEX 00 stretch (and a tail the file holds) ends the
            // previous track early.
            int64_t length = static_cast<int64_t>(position) - previous.index01Position - previous.storedPostgap -
                             track.pregapInFile;
            if (length < 1) return Fail(SheetError::BadTrackLength);
            previous.length = static_cast<int32_t>(length);
        }
        int64_t start = static_cast<int64_t>(previous.startSector) + previous.length + previous.postgap + track.pregap;
        if (start > INT32_MAX) return Fail(SheetError::BadTrackLength);
        track.startSector = static_cast<int32_t>(start);
    }
    track.index01Position = position;
    track.fileDataOffset = file_.dataOffset;
    track.readPosition = file_.dataOffset;
    track.dataOffset = static_cast<int64_t>(file_.sectorSize) * position + file_.dataOffset;
    track.length = static_cast<int32_t>(file_.sectorCount - position);
    track.audioSourceKind = file_.audioKind;
    state_ = kIndex01Read;
    newFile_ = false;
    previousIndex_ = position;
    return true;
}

bool CueParser::Postgap(SheetTokenizer& tokens) {
    if (state_ < kIndex01Read) return true;
    int32_t time = 0;
    if (!ReadSheetTime(tokens, time)) return true;
    TrackEntry& track = Current();
    if (track.postgap == track.storedPostgap) {
        track.postgap += time;
        state_ = kPostgapRead;
    }
    return true;
}

bool CueParser::Rem(SheetTokenizer& tokens) {
    std::u16string word, numberText, extra;
    if (!tokens.Next(word) || !IsKeyword(word, u"SESSION")) return true;
    int32_t number = 0;
    if (!tokens.Next(numberText) || !ParseSheetNumber(numberText, number)) return true;
    if (tokens.Next(extra)) return true;
    if (number == list_->sessionCount + 1) ++list_->sessionCount;
    return true;
}

}  // namespace

int64_t ProbeWaveFile(platform::FileHandle file, const std::u16string& /*path*/, int32_t& kind,
                      int64_t& dataOffset, int64_t& dataSize) {
    kind = 0;
    dataOffset = 0;
    dataSize = 0;
    uint64_t fileSize = 0;
    if (!platform::FileGetSize(file, fileSize)) return 0;
    uint8_t header[12];
    if (platform::FileReadAt(file, 0, header, sizeof header) != static_cast<int64_t>(sizeof header)) return 0;
    foundation::ByteCursor riff(header, sizeof header);
    if (riff.Be32(0) != 0x52494646u /* RIFF */ || riff.Be32(8) != 0x57415645u /* WAVE */) return 0;

    bool formatOk = false;
    uint64_t offset = 12;
    // A WAVE file has a handful of chunks; a long chain is damage.
    for (int chunk = 0; chunk < 1000 && fileSize - offset >= 8 && offset < fileSize; ++chunk) {
        uint8_t chunkHeader[24];
        size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof chunkHeader, fileSize - offset));
        if (platform::FileReadAt(file, offset, chunkHeader, want) != static_cast<int64_t>(want)) return 0;
        foundation::ByteCursor c(chunkHeader, want);
        uint32_t id = c.Be32(0);
        uint64_t length = c.Le32(4);
        uint64_t body = offset + 8;
        if (id == 0x666D7420u /* "fmt " */) {
            if (length < 16 || want < 24) return 0;
            uint16_t format = c.Le16(8);
            formatOk = (format == 1 || format == 0xFFFE) && c.Le16(10) == 2 && c.Le32(12) == 44100 &&
                       c.Le16(22) == 16;
        } else if (id == 0x64617461u /* "data" */) {
            if (!formatOk) return 0;
            uint64_t available = fileSize - body;
            dataOffset = static_cast<int64_t>(body);
            dataSize = static_cast<int64_t>(std::min(length, available));
            return (dataSize + 2351) / 2352;
        }
        uint64_t next = length + (length & 1);
        if (next > fileSize - body) break;
        offset = body + next;
    }
    return 0;
}

TrackListPtr ParseCueSheet(const std::u16string& sheetPath, SheetDiagnostics* diagnostics) {
    CueParser parser(sheetPath);
    return parser.Run(diagnostics);
}

}  // namespace image
