#include "foundation/settings.h"
#include "foundation/shell_integration_services.h"

#include "foundation/paths.h"
#include "foundation/registry.h"
#include "foundation/services.h"
#include "platform/folders.h"
#include "platform/text.h"

#include <unistd.h>

namespace foundation {

namespace {

std::u16string_view KeyOrSettings(std::u16string_view subkey) {
    return subkey.empty() ? kSettingsKey : subkey;
}

std::optional<std::u16string> ReadString(RegistryHive hive, std::u16string_view key,
                                         std::u16string_view name) {
    auto value = RegistryRead(hive, key, name);
    if (!value || value->type != RegistryValueType::String) return std::nullopt;
    // The program reads strings into 1024 characters with the terminator; a
    // longer value is not cut into a different path or name.
    if (value->text.size() > kSettingStringMaxChars) return std::nullopt;
    return std::move(value->text);
}

std::optional<uint32_t> ReadDword(RegistryHive hive, std::u16string_view key,
                                  std::u16string_view name) {
    auto value = RegistryRead(hive, key, name);
    if (!value || value->type != RegistryValueType::Dword) return std::nullopt;
    return value->dword;
}

std::u16string WithoutTrailingSeparator(std::u16string path) {
    while (path.size() > 1 && (path.back() == u'/' || path.back() == u'\\')) path.pop_back();
    return path;
}

std::optional<std::u16string> NonEmptyInstallDir(RegistryHive hive, std::u16string_view key) {
    auto dir = ReadString(hive, key, u"Install_Dir");
    if (!dir || dir->empty()) return std::nullopt;
    return WithoutTrailingSeparator(std::move(*dir));
}

// No file-manager integration: nothing to install.
class NoShellIntegration final : public IShellIntegrationServices {
public:
    void ApplyShellIntegration(bool, const std::u16string&) override {}
};

ServiceSlot<IShellIntegrationServices, NoShellIntegration>& ShellIntegrationSlot() {
    static ServiceSlot<IShellIntegrationServices, NoShellIntegration> slot;
    return slot;
}

}  // namespace

std::optional<std::u16string> ReadSettingString(std::u16string_view name, std::u16string_view subkey) {
    return ReadString(RegistryHive::CurrentUser, KeyOrSettings(subkey), name);
}

uint32_t ReadSettingDword(std::u16string_view name, uint32_t defaultValue, std::u16string_view subkey) {
    return ReadDword(RegistryHive::CurrentUser, KeyOrSettings(subkey), name).value_or(defaultValue);
}

uint32_t ReadSettingDwordInRange(std::u16string_view name, uint32_t defaultValue, uint32_t min,
                                 uint32_t max) {
    uint32_t value = ReadSettingDword(name, defaultValue);
    return value < min || value > max ? defaultValue : value;
}

bool ReadSettingBinary(std::u16string_view name, std::span<uint8_t> buffer, size_t* bytesRead,
                       std::u16string_view subkey) {
    auto value = RegistryRead(RegistryHive::CurrentUser, KeyOrSettings(subkey), name);
    if (!value || value->type != RegistryValueType::Binary || value->bytes.size() > buffer.size())
        return false;
    std::copy(value->bytes.begin(), value->bytes.end(), buffer.begin());
    if (bytesRead) *bytesRead = value->bytes.size();
    return true;
}

bool WriteSettingString(std::u16string_view name, std::u16string_view text, std::u16string_view subkey) {
    return RegistryWrite(RegistryHive::CurrentUser, KeyOrSettings(subkey), name,
                         RegistryValue::String(text));
}

bool WriteSettingCString(std::u16string_view name, std::u16string_view text, std::u16string_view subkey) {
    return WriteSettingString(name, text, subkey);
}

bool WriteSettingDwordInKey(std::u16string_view name, uint32_t value, std::u16string_view subkey) {
    return RegistryWrite(RegistryHive::CurrentUser, KeyOrSettings(subkey), name,
                         RegistryValue::Dword(value));
}

bool WriteSettingDword(std::u16string_view name, uint32_t value) {
    return WriteSettingDwordInKey(name, value, {});
}

bool WriteSettingBinary(std::u16string_view name, std::span<const uint8_t> data,
                        std::u16string_view subkey) {
    return RegistryWrite(RegistryHive::CurrentUser, KeyOrSettings(subkey), name,
                         RegistryValue::Binary(data));
}

std::u16string GetInstallDir() {
    if (auto dir = NonEmptyInstallDir(RegistryHive::LocalMachine, kInstallKey)) return *dir;
    if (auto dir = NonEmptyInstallDir(RegistryHive::CurrentUser, kSettingsKey)) return *dir;
    // Never the current folder in its place: that would load libraries, helpers
    // and language files from wherever the program happened to be started.
    std::u16string folder;
    return platform::GetProgramFolder(folder) ? folder : std::u16string();
}

std::u16string GetVirtualDriveInstallDir() {
    if (auto dir = GetVirtualDriveString(u"Install_Dir"); dir && !dir->empty())
        return WithoutTrailingSeparator(std::move(*dir));
    return GetInstallDir();
}

// The virtual drive's key is written per user and read machine-wide. On
// Windows the user's writes came back through the machine key (the registry
// showed a program its own per-user copy of a machine key it could not
// write); nothing does that here, so the per-user value is read first and the
// machine-wide one (installer defaults) only when the user has none. Read the
// other way round, a changed drive count or letter would never be seen again.
uint32_t GetVirtualDriveDword(std::u16string_view name, uint32_t defaultValue) {
    if (auto own = ReadDword(RegistryHive::CurrentUser, kVirtualDriveKey, name)) return *own;
    return ReadDword(RegistryHive::LocalMachine, kVirtualDriveKey, name).value_or(defaultValue);
}

std::optional<std::u16string> GetVirtualDriveString(std::u16string_view name) {
    if (auto own = ReadString(RegistryHive::CurrentUser, kVirtualDriveKey, name)) return own;
    return ReadString(RegistryHive::LocalMachine, kVirtualDriveKey, name);
}

bool SetVirtualDriveDword(std::u16string_view name, uint32_t value) {
    return RegistryWrite(RegistryHive::CurrentUser, kVirtualDriveKey, name, RegistryValue::Dword(value));
}

bool SetVirtualDriveString(std::u16string_view name, std::u16string_view text) {
    return RegistryWrite(RegistryHive::CurrentUser, kVirtualDriveKey, name, RegistryValue::String(text));
}

bool SetVirtualDriveCString(std::u16string_view name, std::u16string_view text) {
    return SetVirtualDriveString(name, text);
}

std::u16string GetDriveLetters() {
    std::u16string stored = GetVirtualDriveString(u"DriveLetter").value_or(u"");
    std::u16string letters(kDriveLetterCount, u'A');
    for (size_t i = 0; i < kDriveLetterCount && i < stored.size(); ++i) {
        char16_t c = stored[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        if (c >= u'A' && c <= u'Z') letters[i] = c;
    }
    return letters;
}

bool SetDriveLetters(std::u16string_view letters) {
    return SetVirtualDriveString(u"DriveLetter", letters);
}

bool IsVirtualDriveInstalled() {
    auto dir = GetVirtualDriveString(u"Install_Dir");
    return dir && !dir->empty();
}

void DeleteVirtualStoreKeys() {}

uint32_t GetStatusFlags() { return ReadSettingDword(u"Status", 5); }

bool SetStatusFlags(uint32_t bits) { return WriteSettingDword(u"Status", bits); }

uint32_t GetCompressionLevel() {
    uint32_t level = (GetStatusFlags() >> 24) & 0xF;
    return level > 2 ? 0 : level;
}

bool SetCompressionLevel(uint32_t level) {
    uint32_t status = (GetStatusFlags() & ~0x0F000000u) | ((level & 0xF) << 24);
    return SetStatusFlags(status);
}

bool IsShellIntegrationOn() { return ReadSettingDword(u"ShellIntegration", 1) == 0; }

bool SetShellIntegration(bool on) {
    bool written = WriteSettingDword(u"ShellIntegration", on ? 0 : 1);
    std::u16string installDir = GetInstallDir();
    if (!installDir.empty()) ShellIntegrationSlot().Get().ApplyShellIntegration(on, installDir);
    return written;
}

void ApplyShellIntegration() { SetShellIntegration(IsShellIntegrationOn()); }

IShellIntegrationServices* SetShellIntegrationServices(IShellIntegrationServices* services) {
    return ShellIntegrationSlot().Install(services);
}

std::u16string GetAudioFileNameFormat() {
    auto text = ReadSettingString(u"AudioFileNameFormat");
    if (!text || text->empty()) return u"|#-|t";
    return *text;
}

bool SetAudioFileNameFormat(std::u16string_view text) {
    return WriteSettingString(u"AudioFileNameFormat", text);
}

std::u16string GetDefaultViewer() {
    auto viewer = ReadSettingString(u"DefaultViewer");
    if (viewer && !viewer->empty()) return *viewer;
    return u"xdg-open";
}

}  // namespace foundation
