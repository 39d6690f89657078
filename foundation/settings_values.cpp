#include "foundation/settings_values.h"

#include "foundation/settings.h"
#include "platform/format.h"
#include "platform/text.h"

#include <vector>

namespace foundation {

namespace {

constexpr const SettingDefinition* kAllSettings[] = {
    &kSettingInstallDir,
    &kSettingStatus,
    &kSettingStatus1,
    &kSettingShellIntegration,
    &kSettingMainWindow,
    &kSettingLanguage,
    &kSettingTempFolder,
    &kSettingDefaultViewer,
    &kSettingAudioFileNameFormat,
    &kSettingAudioOutputFolder,
    &kSettingAudioOutputFormat,
    &kSettingAudioOutputMode,
    &kSettingLameEncodeFormat,
    &kSettingLameEncodeMode,
    &kSettingLameID3V1,
    &kSettingLameID3V2,
    &kSettingLameCopyright,
    &kSettingLameOriginal,
    &kSettingFlacCompressionLevel,
    &kSettingOggEncodeQuality,
    &kSettingApeCompressionLevel,
    &kSettingBurnBuffer,
    &kSettingEjectAfterBurn,
    &kSettingWriteCDText,
    &kSettingEraseTime,
    &kSettingShowMacFiles,
    &kSettingDefaultFileType,
    &kSettingTimeFixed,
    &kSettingUseFileCreationTime,
    &kSettingConfExtData,
    &kSettingDmFlags,
    &kSettingDmFileName,
};

}  // namespace

std::span<const SettingDefinition* const> AllSettingDefinitions() { return kAllSettings; }

const SettingDefinition* FindSettingDefinition(std::u16string_view name) {
    for (const SettingDefinition* s : kAllSettings)
        if (platform::EqualsNoCase(s->name, name)) return s;
    return nullptr;
}

uint32_t ReadSettingValue(const SettingDefinition& setting) {
    return ReadSettingDwordInRange(setting.name, setting.defaultValue, setting.min, setting.max);
}

bool WriteSettingValue(const SettingDefinition& setting, uint32_t value) {
    return WriteSettingDword(setting.name, value);
}

std::optional<std::u16string> ReadSettingText(const SettingDefinition& setting) {
    auto text = ReadSettingString(setting.name);
    if ((!text || text->empty()) && !setting.defaultText.empty())
        return std::u16string(setting.defaultText);
    return text;
}

std::optional<std::vector<uint8_t>> ReadSettingBytes(const SettingDefinition& setting) {
    std::vector<uint8_t> buffer(setting.maxBytes);
    size_t size = 0;
    if (!ReadSettingBinary(setting.name, buffer, &size)) return std::nullopt;
    buffer.resize(size);
    return buffer;
}

std::u16string NumberedSettingName(std::u16string_view prefix, int index) {
    return platform::Format(u"%s%d", prefix, index);
}

}  // namespace foundation
