#pragma once
// The MP3 settings: "LameEncodeFormat" holds the kind in bits 28-31 (1
// preset, 2 CBR, 3 ABR), "fast" in bit 16, "r3mix" in bit 17, and the
// kilobits per second in bits 0-15.

#include <cstdint>
#include <span>
#include <string_view>

namespace audio {

// LAME's own preset numbers for the named presets; kLamePresetCbr and
// kLamePresetAbr for plain rates.
constexpr int kLamePresetCbr = 12;
constexpr int kLamePresetAbr = 11;

struct LameFormat {
    int preset = kLamePresetCbr;   // the table's preset number (10 insane ... 3 voice, 11 ABR, 12 CBR)
    int bitrate = 128;             // kbit/s
};
LameFormat MapLameFormat(uint32_t code);

// Every format the settings dialog offers, in its order, with the label it
// shows and what the encoder makes of it, so the two never drift apart.
struct LameFormatRow {
    uint32_t code;
    std::u16string_view label;
    LameFormat format;
};
std::span<const LameFormatRow> LameFormatTable();
// The row shown when the stored code is none of the table's ("CBR 128Kbps").
inline constexpr size_t kLameFallbackRow = 9;

}  // namespace audio
