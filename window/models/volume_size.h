#pragma once
// Volume sizes as the user types or picks them: the presets of the size
// boxes, the check of a typed size ("10,485,760", "10240K", "10M", "2G",
// "Autodetect"), and the text a size is shown as. -1 is "Autodetect": no fixed
// size, a pause after each volume.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dialogs {

struct VolumeSizePreset {
    const char16_t* text;
    int64_t bytes;
};
std::span<const VolumeSizePreset> VolumeSizePresets();

constexpr int64_t kAutodetectVolumeSize = -1;
constexpr int64_t kMinVolumeSize = 131072;            // 128K
constexpr int64_t kMaxVolumeSize = 2199023255552;     // 2048G

// Language text 860.
std::u16string AutodetectText();

// Trimmed, cut at the first "-" (a preset's label), upper-cased, trimmed.
std::u16string NormalizeVolumeSize(std::u16string_view text);
// Digits, blanks and commas, ending in a digit, a comma, "K", "M" or "G"; at
// least one digit.
bool IsValidVolumeSizeText(std::u16string_view text);
// The value of a valid text; none when it does not fit 63 bits.
std::optional<int64_t> ParseVolumeSize(std::u16string_view text);

enum class VolumeSizeCheck { Ok, Empty, Invalid };
// A size box's text: "Autodetect" (any case) gives -1, a valid text between
// 128K and 2048G its value.
VolumeSizeCheck ReadVolumeSizeText(std::u16string_view text, int64_t& size);
// The message for a refused text (840 for an empty box, else 850).
std::u16string VolumeSizeMessage(VolumeSizeCheck check);

// The text a size box shows: empty for 0, "Autodetect" for -1, the preset's
// text for a preset value, else "N,NNNM" for whole MiB or the byte count with
// thousands separators.
std::u16string ShowVolumeSize(int64_t size);

}  // namespace dialogs
