#include "image/sheets/mds_parser.h"

#include <vector>

#include "foundation/byte_cursor.h"
#include "image/sheets/cue_parser_names.h"
#include "image/sheets/cue_parser_tokens.h"
#include "platform/text.h"

namespace image {

namespace {

constexpr char kSignature[] = "MEDIA DESCRIPTOR";

uint8_t ModeFromMdsCode(uint8_t code) {
    switch (code) {
    case 0xA9: return track_mode::kAudio;
    case 0xAA: return track_mode::kMode1Raw;
    case 0xAB: return track_mode::kMode2Raw;
    case 0xAC: return track_mode::kMode2Form1;
    case 0xAD: return track_mode::kMode2Form2;
    default: return track_mode::kNone;
    }
}

// The image file the descriptor names, as a path beside the descriptor; false
// when the record or the name lies outside the file or the name is unusable.
bool ReadImageName(const std::u16string& mdsPath, const foundation::ByteCursor& file, uint32_t recordOffset,
                   std::u16string& path) {
    auto record = file.Sub(recordOffset, mds::kFileRecordBytes);
    if (!record) return false;
    uint32_t nameOffset = record->Le32(0);
    if (nameOffset >= file.Size()) return false;
    // The name need not end before the end of the file; it is cut there.
    size_t available = file.Size() - nameOffset;
    auto nameBytes = file.Span(nameOffset, available < mds::kMaxNameBytes ? available : mds::kMaxNameBytes);
    if (!nameBytes) return false;
    std::string name;
    for (uint8_t b : *nameBytes) {
        if (b == 0) break;
        name.push_back(static_cast<char>(b));
    }
    std::u16string wide;
    if (!platform::MultiByteToUtf16(platform::kCodePageAnsi, name, wide)) {
        wide.clear();
        for (char c : name) wide.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
    }
    SheetNameStatus status = ResolveSheetFileName(mdsPath, wide, path);
    return status == SheetNameStatus::Ok || status == SheetNameStatus::NotFound;
}

}  // namespace

TrackListPtr ParseMdsBytes(const std::u16string& mdsPath, std::span<const uint8_t> bytes) {
    foundation::ByteCursor file(bytes);
    if (file.Size() < mds::kMinFileBytes) return nullptr;
    for (size_t i = 0; i < mds::kSignatureLength; ++i) {
        char16_t c = static_cast<char16_t>(file.U8(i));
        if (platform::ToUpperChar(c) != static_cast<char16_t>(kSignature[i])) return nullptr;
    }
    uint32_t blockCount = file.U8(mds::kBlockCountOffset);
    uint64_t firstBlock = file.Le32(mds::kFirstBlockOffset);

    TrackListPtr list = NewTrackList();
    uint32_t fileRecord = 0;
    bool all2048 = true;
    for (uint32_t b = 0; b < blockCount; ++b) {
        auto block = file.Sub(firstBlock + uint64_t{b} * mds::kBlockBytes, mds::kBlockBytes);
        if (!block) break;
        // Lead-in entries (A0, A1, A2) and anything else that is no track.
        uint8_t point = block->U8(mds::kPointOffset);
        if (point > kMaxTracks) continue;
        // Up to 255 blocks fit the count byte; a CD has at most 99 tracks.
        if (list->trackCount >= kMaxTracks) return nullptr;

        TrackEntry& track = list->tracks[static_cast<size_t>(list->trackCount)];
        // Byte 1 is the sub-channel mode: an image with sub-channel data still
        // has its track mode in byte 0.
        track.mode = ModeFromMdsCode(block->U8(mds::kModeOffset));
        int32_t minute = block->U8(mds::kMsfOffset);
        int32_t second = block->U8(mds::kMsfOffset + 1);
        int32_t frame = block->U8(mds::kMsfOffset + 2);
        track.startSector = (minute * 60 + second) * 75 + frame - 150;
        track.sectorSize = block->Le16(mds::kSectorSizeOffset);
        if (track.sectorSize != 2048) all2048 = false;
        // Sectors of 2448 bytes (with sub-channel) are stored whole, so offsets
        // step by the stored size, not by 2352.
        int64_t storedSize = track.sectorSize > 0 ? track.sectorSize : 2352;
        track.dataOffset = int64_t{track.startSector} * storedSize;

        uint64_t extraOffset = block->Le32(mds::kExtraOffset);
        auto extra = extraOffset != 0 ? file.Sub(extraOffset, mds::kExtraBytes) : std::nullopt;
        if (extra) {
            int64_t pregap = extra->Le32(0);
            int64_t length = extra->Le32(4);
            if (list->trackCount == 0) pregap -= 150;
            list->pregapByteTotal += pregap * storedSize;
            track.dataOffset -= list->pregapByteTotal;
            if (track.dataOffset < 0) track.dataOffset = 0;
            track.pregap = static_cast<int32_t>(pregap < 0 ? 0 : pregap > INT32_MAX ? INT32_MAX : pregap);
            track.length = static_cast<int32_t>(length > INT32_MAX ? INT32_MAX : length);
            track.endOffset = length * storedSize + track.dataOffset;
        } else {
            if (track.dataOffset < 0) track.dataOffset = 0;
            if (list->trackCount > 0) {
                TrackEntry& previous = list->tracks[static_cast<size_t>(list->trackCount - 1)];
                previous.length = track.startSector - previous.startSector;
                int64_t previousSize = previous.sectorSize > 0 ? previous.sectorSize : 2352;
                previous.endOffset = int64_t{previous.length} * previousSize + previous.dataOffset;
            }
        }
        if (fileRecord == 0) fileRecord = block->Le32(mds::kFileRecordOffset);
        ++list->trackCount;
    }
    if (list->trackCount < 1) return nullptr;

    if (fileRecord == 0 || !ReadImageName(mdsPath, file, fileRecord, list->firstFilePath)) return nullptr;
    for (int32_t i = 0; i < list->trackCount; ++i) list->tracks[static_cast<size_t>(i)].fileName = list->firstFilePath;
    list->sheetPath = mdsPath;
    list->imageSectorSize = all2048 ? 2048 : 2352;
    const TrackEntry& last = list->tracks[static_cast<size_t>(list->trackCount - 1)];
    // The length is clamped only to 32 bits: a track that ends past what a
    // disc address holds is no track.
    const int64_t end = int64_t{last.startSector} + last.length;
    if (end > INT32_MAX) return nullptr;
    list->tracks[static_cast<size_t>(list->trackCount)].startSector = static_cast<int32_t>(end);
    return list;
}

TrackListPtr ParseMdsFile(const std::u16string& mdsPath) {
    if (mdsPath.empty() || mdsPath.size() > kMaxSheetPathChars) return nullptr;
    std::vector<uint8_t> bytes;
    if (ReadSheetBytes(mdsPath, bytes) != SheetReadStatus::Ok) return nullptr;
    return ParseMdsBytes(mdsPath, bytes);
}

}  // namespace image
