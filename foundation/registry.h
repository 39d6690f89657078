#pragma once
// The settings store that stands in for the Windows registry: two hives, the
// per-user one (HKEY_CURRENT_USER) and the machine one (HKEY_LOCAL_MACHINE),
// each a text file in the ".reg" export syntax. Key paths and value names
// compare case-insensitively. Every write re-reads the file under an exclusive
// flock on a lock file beside it, changes it and replaces it atomically
// (temporary file, fsync, rename), so the program, the virtual-drive helper and
// the shell extension never lose each other's writes. A damaged file is kept
// aside as "<name>.bad" and read as empty.
//
// Location: $QV_CONFIG_DIR when set (tests always set it), else
// $XDG_CONFIG_HOME/quendravine (else ~/.config/quendravine): "user.reg" and
// "machine.reg". Without QV_CONFIG_DIR, /etc/quendravine/machine.reg gives
// read-only machine defaults under the user's machine.reg.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

enum class RegistryHive { CurrentUser, LocalMachine };

// The Windows value type numbers, kept so that the store's vocabulary matches
// the REG_SZ / REG_BINARY / REG_DWORD of the design.
enum class RegistryValueType : uint32_t { String = 1, Binary = 3, Dword = 4 };

struct RegistryValue {
    RegistryValueType type = RegistryValueType::String;
    std::u16string text;          // String
    uint32_t dword = 0;           // Dword
    std::vector<uint8_t> bytes;   // Binary

    static RegistryValue String(std::u16string_view text);
    static RegistryValue Dword(uint32_t value);
    static RegistryValue Binary(std::span<const uint8_t> bytes);
};

// The value, or nothing when the hive, key or value is missing.
std::optional<RegistryValue> RegistryRead(RegistryHive hive, std::u16string_view keyPath,
                                          std::u16string_view name);
// Creates the key when missing. False (last error set) when the store cannot be
// written.
bool RegistryWrite(RegistryHive hive, std::u16string_view keyPath, std::u16string_view name,
                   const RegistryValue& value);
// True when the value was there and is gone, or was not there.
bool RegistryDeleteValue(RegistryHive hive, std::u16string_view keyPath, std::u16string_view name);
// Deletes the key and every key below it (SHDeleteKeyW); true also when absent.
bool RegistryDeleteKey(RegistryHive hive, std::u16string_view keyPath);
bool RegistryKeyExists(RegistryHive hive, std::u16string_view keyPath);

// The folder that holds the hive files, and the file of one hive (UTF-8 paths).
std::string RegistryConfigDir();
std::string RegistryHivePath(RegistryHive hive);

}  // namespace foundation
