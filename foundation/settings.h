#pragma once
// Typed access to the program's settings: the settings key
// "Software\Quendravine" of the per-user hive, the install key of the machine
// hive and the virtual-drive key "Software\Quendravine Virtual Drive".
//
// Every read and write takes an optional other subkey path under the same root
// in place of the settings key; an empty view means the settings key. Readers
// give the default (or nothing) when the key or value is missing or of another
// type; writers return false on failure and most callers ignore it.
//
// Strings are returned by value (never in a shared buffer), so worker threads
// may read settings while the window thread does.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace foundation {

inline constexpr std::u16string_view kSettingsKey = u"Software\\Quendravine";
inline constexpr std::u16string_view kInstallKey = u"Software\\Quendravine";
inline constexpr std::u16string_view kVirtualDriveKey = u"Software\\Quendravine Virtual Drive";

// A string setting is read into 1024 characters with its terminator: a longer
// value is treated as missing rather than cut.
inline constexpr size_t kSettingStringMaxChars = 1023;

// The REG_SZ value, or nothing when missing, of another type or too long.
std::optional<std::u16string> ReadSettingString(std::u16string_view name,
                                                std::u16string_view subkey = {});
uint32_t ReadSettingDword(std::u16string_view name, uint32_t defaultValue,
                          std::u16string_view subkey = {});
// The default also when the value lies outside [min, max] (unsigned comparison).
uint32_t ReadSettingDwordInRange(std::u16string_view name, uint32_t defaultValue, uint32_t min,
                                 uint32_t max);
// True when a REG_BINARY value of at most buffer.size() bytes was read; its
// length goes to *bytesRead.
bool ReadSettingBinary(std::u16string_view name, std::span<uint8_t> buffer, size_t* bytesRead,
                       std::u16string_view subkey = {});

bool WriteSettingString(std::u16string_view name, std::u16string_view text,
                        std::u16string_view subkey = {});
bool WriteSettingCString(std::u16string_view name, std::u16string_view text,
                         std::u16string_view subkey = {});
bool WriteSettingDwordInKey(std::u16string_view name, uint32_t value, std::u16string_view subkey);
bool WriteSettingDword(std::u16string_view name, uint32_t value);
bool WriteSettingBinary(std::u16string_view name, std::span<const uint8_t> data,
                        std::u16string_view subkey = {});

// The install folder without a trailing separator: "Install_Dir" of the machine
// install key when present and not empty, else of the settings key, else the
// folder of the running program (platform::GetProgramFolder). Empty, with the
// last error set, when none can be had: callers then find nothing beside the
// program rather than looking in the current folder.
std::u16string GetInstallDir();
// The same lookup with the virtual-drive key first.
std::u16string GetVirtualDriveInstallDir();

// Virtual-drive key. Reads look at the per-user key first, then the machine
// key, so that a value set here is the value read back.
uint32_t GetVirtualDriveDword(std::u16string_view name, uint32_t defaultValue);
std::optional<std::u16string> GetVirtualDriveString(std::u16string_view name);
bool SetVirtualDriveDword(std::u16string_view name, uint32_t value);
bool SetVirtualDriveString(std::u16string_view name, std::u16string_view text);
bool SetVirtualDriveCString(std::u16string_view name, std::u16string_view text);

inline constexpr size_t kDriveLetterCount = 23;
// 23 letters from "DriveLetter"; lower-case letters count as their capitals,
// anything else outside A to Z and every missing position reads as "A".
std::u16string GetDriveLetters();
bool SetDriveLetters(std::u16string_view letters);
bool IsVirtualDriveInstalled();
// The registry virtualisation copies do not exist here: nothing to delete.
void DeleteVirtualStoreKeys();

// "Status": option bits of the main frame; bits 24-27 the default compression
// level 0 to 2 (a stored 3 to 15 reads as 0).
uint32_t GetStatusFlags();
bool SetStatusFlags(uint32_t bits);
// A Status bit: compressed images are saved at normal thread priority.
constexpr uint32_t kStatusNormalPriority = 0x20000;
uint32_t GetCompressionLevel();
bool SetCompressionLevel(uint32_t level);

// "ShellIntegration" is stored inverted: 0 means on, missing means off.
bool IsShellIntegrationOn();
// Stores the value, then hands the switch to the shell-integration services
// (foundation/shell_integration_services.h) with the install folder (the
// file-manager integration owns what "on" installs).
bool SetShellIntegration(bool on);
void ApplyShellIntegration();

// "AudioFileNameFormat"; missing or empty reads as "|#-|t".
std::u16string GetAudioFileNameFormat();
bool SetAudioFileNameFormat(std::u16string_view text);

// "DefaultViewer", else the desktop's default opener.
std::u16string GetDefaultViewer();

}  // namespace foundation
