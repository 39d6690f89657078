#pragma once
// The ".reg" export syntax of the settings store, parsed and written:
//
//   Windows Registry Editor Version 5.00
//
//   [Software\Quendravine]
//   "Status"=dword:00000005
//   "Language"="text with \\ and \" escaped"
//   "MainWindow"=hex:0a,00,00,00
//   "Odd"=hex(1):41,00,00,00        (a string holding control characters, UTF-16LE)
//
// Files are UTF-8. Key paths and value names keep the case they were written
// with and are found case-insensitively.

#include "foundation/registry.h"

#include <string>
#include <string_view>
#include <vector>

namespace foundation {

struct RegistryNamedValue {
    std::u16string name;
    RegistryValue value;
};

struct RegistryKey {
    std::u16string path;                    // "Software\Quendravine", no leading or trailing "\"
    std::vector<RegistryNamedValue> values; // in the order written
};

// One hive: its keys in file order.
struct RegistryTree {
    std::vector<RegistryKey> keys;

    RegistryKey* FindKey(std::u16string_view path);
    const RegistryKey* FindKey(std::u16string_view path) const;
    RegistryKey& FindOrAddKey(std::u16string_view path);
    // Removes the key and every key below it; true when something was removed.
    bool RemoveKeyTree(std::u16string_view path);
};

const RegistryNamedValue* FindRegistryValue(const RegistryKey& key, std::u16string_view name);
void SetRegistryValue(RegistryKey& key, std::u16string_view name, const RegistryValue& value);
bool RemoveRegistryValue(RegistryKey& key, std::u16string_view name);

// Key paths with "/" or doubled "\" are brought to one form: single "\", no
// leading or trailing separator.
std::u16string NormalizeRegistryKeyPath(std::u16string_view path);

// False when the text is not in the syntax above (the caller treats the file as
// damaged). An empty text is an empty hive.
bool ParseRegistryText(std::string_view text, RegistryTree& tree);
std::string FormatRegistryText(const RegistryTree& tree);

}  // namespace foundation
