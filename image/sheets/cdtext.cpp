#include "image/sheets/cdtext.h"

#include <algorithm>
#include <array>

#include "foundation/byte_cursor.h"
#include "platform/file.h"

namespace image {

namespace {

constexpr uint8_t kFirstPackType = 0x80;
constexpr uint8_t kSizeInfoType = 0x8F;
constexpr uint8_t kDiscIdType = 0x86;
constexpr size_t kTextBytesPerPack = 12;
constexpr size_t kSizeBlockBytes = 36;
constexpr uint8_t kLanguageEnglish = 9;   // EBU Tech 3258 language code

std::u16string Latin1ToWide(const std::string& bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (char c : bytes) text.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
    return text;
}

std::string WideToLatin1(const std::u16string& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (char16_t c : text) bytes.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    return bytes;
}

void StoreCrc(uint8_t* pack) {
    uint16_t crc = static_cast<uint16_t>(~CdTextCrc(0, pack, 16));
    pack[16] = static_cast<uint8_t>(crc >> 8);
    pack[17] = static_cast<uint8_t>(crc);
}

// Index of the TrackDetail for a pack's track number: 0 for the disc, else the
// track's position + 1; -1 for a track the list does not have.
int32_t DetailIndexOf(const TrackList& list, uint8_t trackNumber) {
    if (trackNumber == 0) return 0;
    int32_t first = list.firstTrackNumber > 0 ? list.firstTrackNumber : 1;
    int32_t index = static_cast<int32_t>(trackNumber) - first + 1;
    if (index < 1 || index > list.trackCount || index >= kTrackSlots) return -1;
    return index;
}

}  // namespace

uint16_t CdTextCrc(uint16_t initial, const uint8_t* bytes, size_t length) {
    uint16_t crc = initial;
    for (size_t i = 0; i < length; ++i) {
        crc = static_cast<uint16_t>(crc ^ (static_cast<uint16_t>(bytes[i]) << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}

int FixCdTextPack(uint8_t* pack) {
    // With the stored (inverted) CRC turned back, a good pack's CRC over all 18
    // bytes is 0.
    std::array<uint8_t, kCdTextPackBytes> work;
    std::copy(pack, pack + kCdTextPackBytes, work.begin());
    work[16] = static_cast<uint8_t>(~work[16]);
    work[17] = static_cast<uint8_t>(~work[17]);
    if (CdTextCrc(0, work.data(), work.size()) == 0) return 1;
    for (size_t bit = 0; bit < kCdTextPackBytes * 8; ++bit) {
        uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
        work[bit / 8] ^= mask;
        if (CdTextCrc(0, work.data(), work.size()) == 0) {
            work[16] = static_cast<uint8_t>(~work[16]);
            work[17] = static_cast<uint8_t>(~work[17]);
            std::copy(work.begin(), work.end(), pack);
            return 1;
        }
        work[bit / 8] ^= mask;
    }
    return 0;
}

int ParseCdTextBytes(std::span<const uint8_t> bytes, std::vector<uint8_t>& block) {
    block.clear();
    size_t size = bytes.size();
    if (size < kCdTextMinFileBytes || size > kCdTextMaxFileBytes) return 0;
    foundation::ByteCursor file(bytes);
    size_t packStart = 0;
    if (size % kCdTextPackBytes == 4) {
        if (file.Be16(0) != size - 2) return 0;
        packStart = 4;
    } else if (size % kCdTextPackBytes != 0) {
        return 0;
    }
    size_t packBytes = size - packStart;
    std::vector<uint8_t> out(4 + packBytes);
    out[0] = static_cast<uint8_t>((packBytes + 2) >> 8);
    out[1] = static_cast<uint8_t>(packBytes + 2);
    if (!file.CopyTo(packStart, out.data() + 4, packBytes)) return 0;
    for (size_t p = 4; p < out.size(); p += kCdTextPackBytes) {
        uint8_t* pack = out.data() + p;
        if (pack[0] < kFirstPackType || pack[0] > kSizeInfoType) return 0;
        if (!FixCdTextPack(pack)) return 0;
        // A repaired bit may have been in the type byte.
        if (pack[0] < kFirstPackType || pack[0] > kSizeInfoType) return 0;
    }
    block = std::move(out);
    return 1;
}

int ReadCdTextFile(const std::u16string& path, std::vector<uint8_t>& block) {
    block.clear();
    platform::FileHandle file = platform::FileOpen(path, platform::FileAccess::Read,
                                                   platform::FileDisposition::OpenExisting);
    if (!file) return 0;
    uint64_t size = 0;
    std::vector<uint8_t> bytes;
    bool ok = platform::FileGetSize(file, size) && size >= kCdTextMinFileBytes && size <= kCdTextMaxFileBytes;
    if (ok) {
        bytes.resize(static_cast<size_t>(size));
        ok = platform::FileReadAt(file, 0, bytes.data(), bytes.size()) == static_cast<int64_t>(size);
    }
    platform::FileClose(file);
    return ok ? ParseCdTextBytes(bytes, block) : 0;
}

int ApplyCdTextFile(TrackList* list, std::span<const uint8_t> block) {
    if (!list || block.size() < 4) return 1;
    foundation::ByteCursor cursor(block);
    size_t declared = cursor.Be16(0);
    size_t packBytes = declared >= 2 ? declared - 2 : 0;
    packBytes = std::min(packBytes, block.size() - 4);

    struct SlotState {
        bool started = false;
        uint8_t track = 0;
        std::string text;
    };
    std::array<SlotState, 15> slots;
    for (size_t p = 4; p + kCdTextPackBytes <= 4 + packBytes; p += kCdTextPackBytes) {
        const uint8_t* pack = block.data() + p;
        uint8_t type = pack[0];
        if (type < kFirstPackType || type >= kSizeInfoType) continue;
        // Only the first language block: the others would overwrite its texts.
        if ((pack[3] & 0x70) != 0) continue;
        SlotState& slot = slots[type & 0x0F];
        if (!slot.started) {
            slot.started = true;
            slot.track = pack[1];
        }
        for (size_t i = 4; i < 4 + kTextBytesPerPack; ++i) {
            if (pack[i] != 0) {
                if (slot.text.size() < kCdTextMaxTextBytes) slot.text.push_back(static_cast<char>(pack[i]));
                continue;
            }
            int32_t index = DetailIndexOf(*list, slot.track);
            if (index >= 0) {
                GetTrackCdText(index, list)->texts[type & 0x0F] = Latin1ToWide(slot.text);
            }
            slot.text.clear();
            if (slot.track < 0xFF) ++slot.track;
        }
    }
    return 1;
}

int HasCdText(const TrackList* list) {
    if (!list) return 0;
    bool audio = false;
    for (int32_t i = 0; i < list->trackCount && i < kMaxTracks; ++i) {
        if (list->tracks[i].mode == track_mode::kAudio) audio = true;
    }
    if (!audio) return 0;
    for (int32_t d = 0; d <= list->trackCount && d < kTrackSlots; ++d) {
        const TrackDetail* detail = list->details[d].get();
        if (!detail) continue;
        for (int slot = 0; slot < 16; ++slot) {
            if (!detail->texts[slot].empty()) return 1;
        }
    }
    return 0;
}

std::vector<uint8_t> BuildCdTextPacks(const TrackList& list) {
    std::vector<uint8_t> packs;
    std::array<uint8_t, kSizeBlockBytes> sizeBlock{};
    int32_t count = std::clamp(list.trackCount, 0, kMaxTracks);
    int32_t first = list.firstTrackNumber > 0 ? list.firstTrackNumber : 1;
    sizeBlock[0] = 0;   // ISO 8859-1
    sizeBlock[1] = static_cast<uint8_t>(first);
    sizeBlock[2] = static_cast<uint8_t>(first + std::max(count, 1) - 1);
    sizeBlock[4 + 15] = 3;
    sizeBlock[28] = kLanguageEnglish;

    size_t packCount = 0;
    auto ansiText = [&](int32_t detailIndex, int slot) -> const std::string* {
        const TrackDetail* detail = list.details[static_cast<size_t>(detailIndex)].get();
        return detail ? &detail->ansiTexts[static_cast<size_t>(slot)] : nullptr;
    };

    for (uint8_t type = kFirstPackType; type < kSizeInfoType; ++type) {
        int slot = type - kFirstPackType;
        int32_t lastIndex = type == kDiscIdType ? 0 : count;
        bool any = false;
        for (int32_t d = 0; d <= lastIndex; ++d) {
            const std::string* text = ansiText(d, slot);
            if (text && !text->empty()) any = true;
        }
        if (!any) continue;

        // The texts of this type, each with its NUL, as one run of bytes.
        struct Piece {
            uint8_t track;
            std::string bytes;
        };
        std::vector<Piece> pieces;
        size_t typeBytes = 0;
        for (int32_t d = 0; d <= lastIndex; ++d) {
            const std::string* text = ansiText(d, slot);
            std::string bytes = text ? text->substr(0, kCdTextMaxBuiltChars) : std::string();
            // A NUL inside the text would end it early on the disc.
            bytes = bytes.substr(0, bytes.find('\0'));
            bytes.push_back('\0');
            size_t packsNeeded = (typeBytes + bytes.size() + kTextBytesPerPack - 1) / kTextBytesPerPack;
            if (packCount + packsNeeded > kCdTextMaxTextPacks) break;
            typeBytes += bytes.size();
            pieces.push_back(Piece{static_cast<uint8_t>(d == 0 ? 0 : first + d - 1), std::move(bytes)});
        }
        if (pieces.empty()) continue;

        size_t pieceIndex = 0, charIndex = 0;
        while (pieceIndex < pieces.size()) {
            std::array<uint8_t, kCdTextPackBytes> pack{};
            pack[0] = type;
            pack[1] = pieces[pieceIndex].track;
            pack[2] = static_cast<uint8_t>(packCount);
            pack[3] = static_cast<uint8_t>(std::min<size_t>(charIndex, 15));
            for (size_t i = 0; i < kTextBytesPerPack && pieceIndex < pieces.size(); ++i) {
                pack[4 + i] = static_cast<uint8_t>(pieces[pieceIndex].bytes[charIndex]);
                if (++charIndex == pieces[pieceIndex].bytes.size()) {
                    ++pieceIndex;
                    charIndex = 0;
                }
            }
            StoreCrc(pack.data());
            packs.insert(packs.end(), pack.begin(), pack.end());
            ++packCount;
            ++sizeBlock[4 + slot];
        }
    }

    sizeBlock[20] = static_cast<uint8_t>(packCount + 2);
    for (uint8_t part = 0; part < 3; ++part) {
        std::array<uint8_t, kCdTextPackBytes> pack{};
        pack[0] = kSizeInfoType;
        pack[1] = part;
        pack[2] = static_cast<uint8_t>(packCount);
        pack[3] = 0;
        std::copy(sizeBlock.begin() + part * kTextBytesPerPack, sizeBlock.begin() + (part + 1) * kTextBytesPerPack,
                  pack.begin() + 4);
        StoreCrc(pack.data());
        packs.insert(packs.end(), pack.begin(), pack.end());
        ++packCount;
    }
    return packs;
}

int BuildCdTextSubchannel(TrackList* list) {
    if (!list) return 0;
    std::vector<uint8_t> packs = BuildCdTextPacks(*list);
    size_t packCount = packs.size() / kCdTextPackBytes;
    size_t repeats = packCount % 4 == 0 ? 1 : packCount % 4 == 2 ? 2 : 4;
    std::vector<uint8_t> repeated;
    repeated.reserve(packs.size() * repeats);
    for (size_t r = 0; r < repeats; ++r) repeated.insert(repeated.end(), packs.begin(), packs.end());

    std::vector<uint8_t> symbols;
    symbols.reserve(repeated.size() / 3 * 4);
    for (size_t i = 0; i + 3 <= repeated.size(); i += 3) {
        uint8_t b0 = repeated[i], b1 = repeated[i + 1], b2 = repeated[i + 2];
        symbols.push_back(static_cast<uint8_t>(b0 >> 2));
        symbols.push_back(static_cast<uint8_t>(((b0 & 0x03) << 4) | (b1 >> 4)));
        symbols.push_back(static_cast<uint8_t>(((b1 & 0x0F) << 2) | (b2 >> 6)));
        symbols.push_back(static_cast<uint8_t>(b2 & 0x3F));
    }
    list->rwSubchannel = std::move(symbols);
    return 1;
}

void UpdateCdTextAnsi(TrackDetail* detail) {
    if (!detail) return;
    for (size_t slot = 0; slot < detail->texts.size(); ++slot) {
        detail->ansiTexts[slot] = detail->texts[slot].empty() ? std::string() : WideToLatin1(detail->texts[slot]);
    }
}

void UpdateTrackListCdTextAnsi(TrackList* list) {
    if (!list) return;
    for (auto& detail : list->details) UpdateCdTextAnsi(detail.get());
}

}  // namespace image
