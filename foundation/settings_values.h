#pragma once
// The program's whole vocabulary of settings under the settings key, with type,
// default and accepted range. A DWORD read outside its range gives the default.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

enum class SettingType { String, Dword, Binary };

struct SettingDefinition {
    std::u16string_view name;
    SettingType type;
    uint32_t defaultValue;       // Dword
    uint32_t min;                // Dword range, inclusive; 0..0xFFFFFFFF = any
    uint32_t max;
    uint32_t maxBytes;           // Binary: the largest value read
    std::u16string_view defaultText;  // String: the text when missing (may be empty)
};

inline constexpr uint32_t kAnyDword = 0xFFFFFFFFu;

inline constexpr SettingDefinition kSettingInstallDir{u"Install_Dir", SettingType::String, 0, 0, 0, 0, u""};
inline constexpr SettingDefinition kSettingStatus{u"Status", SettingType::Dword, 5, 0, kAnyDword, 0, u""};
inline constexpr SettingDefinition kSettingStatus1{u"Status1", SettingType::String, 0, 0, 0, 0, u""};
inline constexpr SettingDefinition kSettingShellIntegration{u"ShellIntegration", SettingType::Dword, 1, 0, kAnyDword, 0, u""};
inline constexpr SettingDefinition kSettingMainWindow{u"MainWindow", SettingType::Binary, 0, 0, 0, 20, u""};
inline constexpr SettingDefinition kSettingLanguage{u"Language", SettingType::Dword, 0, 0, kAnyDword, 0, u""};
inline constexpr SettingDefinition kSettingTempFolder{u"TempFolder", SettingType::String, 0, 0, 0, 0, u""};
inline constexpr SettingDefinition kSettingDefaultViewer{u"DefaultViewer", SettingType::String, 0, 0, 0, 0, u""};
inline constexpr SettingDefinition kSettingAudioFileNameFormat{u"AudioFileNameFormat", SettingType::String, 0, 0, 0, 0, u"|#-|t"};
inline constexpr SettingDefinition kSettingAudioOutputFolder{u"AudioOutputFolder", SettingType::String, 0, 0, 0, 0, u""};
inline constexpr SettingDefinition kSettingAudioOutputFormat{u"AudioOutputFormat", SettingType::Dword, 3, 1, 5, 0, u""};
inline constexpr SettingDefinition kSettingAudioOutputMode{u"AudioOutputMode", SettingType::Dword, 0, 0, 1, 0, u""};
inline constexpr SettingDefinition kSettingLameEncodeFormat{u"LameEncodeFormat", SettingType::Dword, 0, 0, kAnyDword, 0, u""};
inline constexpr SettingDefinition kSettingLameEncodeMode{u"LameEncodeMode", SettingType::Dword, 0, 0, 3, 0, u""};
inline constexpr SettingDefinition kSettingLameID3V1{u"LameID3V1", SettingType::Dword, 1, 0, 1, 0, u""};
inline constexpr SettingDefinition kSettingLameID3V2{u"LameID3V2", SettingType::Dword, 1, 0, 1, 0, u""};
inline constexpr SettingDefinition kSettingLameCopyright{u"LameCopyright", SettingType::Dword, 0, 0, 1, 0, u""};
inline constexpr SettingDefinition kSettingLameOriginal{u"LameOriginal", SettingType::Dword, 0, 0, 1, 0, u""};
inline constexpr SettingDefinition kSettingFlacCompressionLevel{u"FlacCompressionLevel", SettingType::Dword, 5, 0, 8, 0, u""};
inline constexpr SettingDefinition kSettingOggEncodeQuality{u"OggEncodeQuality", SettingType::Dword, 0x101770, 0x100000, 0x3001F4, 0, u""};
inline constexpr SettingDefinition kSettingApeCompressionLevel{u"ApeCompressionLevel", SettingType::Dword, 3, 1, 5, 0, u""};
inline constexpr SettingDefinition kSettingBurnBuffer{u"BurnBuffer", SettingType::Dword, 8, 8, 128, 0, u""};
inline constexpr SettingDefinition kSettingEjectAfterBurn{u"EjectAfterBurn", SettingType::Dword, 1, 0, 1, 0, u""};
inline constexpr SettingDefinition kSettingWriteCDText{u"WriteCDText", SettingType::Dword, 1, 0, 1, 0, u""};
inline constexpr SettingDefinition kSettingEraseTime{u"EraseTime", SettingType::Binary, 0, 0, 0, 64, u""};
inline constexpr SettingDefinition kSettingShowMacFiles{u"ShowMacFiles", SettingType::Dword, 0, 0, 1, 0, u""};
inline constexpr SettingDefinition kSettingDefaultFileType{u"DefaultFileType", SettingType::Dword, 0, 0, 1, 0, u""};
inline constexpr SettingDefinition kSettingTimeFixed{u"TimeFixed", SettingType::Dword, 0, 0, kAnyDword, 0, u""};
inline constexpr SettingDefinition kSettingUseFileCreationTime{u"UseFileCreationTime", SettingType::Dword, 0, 0, 1, 0, u""};
inline constexpr SettingDefinition kSettingConfExtData{u"ConfExtData", SettingType::Binary, 0, 0, 0, 262144, u""};
inline constexpr SettingDefinition kSettingDmFlags{u"DmFlags", SettingType::Dword, 0, 0, kAnyDword, 0, u""};
inline constexpr SettingDefinition kSettingDmFileName{u"DmFileName", SettingType::String, 0, 0, 0, 0, u""};

// Every named value above, for lookups by name.
std::span<const SettingDefinition* const> AllSettingDefinitions();
const SettingDefinition* FindSettingDefinition(std::u16string_view name);

// A DWORD setting through its definition: the default when missing, of another
// type or outside the range.
uint32_t ReadSettingValue(const SettingDefinition& setting);
bool WriteSettingValue(const SettingDefinition& setting, uint32_t value);
// A string setting: its text, else the definition's default text when it has
// one, else nothing.
std::optional<std::u16string> ReadSettingText(const SettingDefinition& setting);
// A binary setting of at most maxBytes.
std::optional<std::vector<uint8_t>> ReadSettingBytes(const SettingDefinition& setting);

// Numbered lists ("%s%d": a prefix and an index, as the recent-file list and the
// path histories keep them).
std::u16string NumberedSettingName(std::u16string_view prefix, int index);

}  // namespace foundation
