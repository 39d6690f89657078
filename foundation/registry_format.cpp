#include "foundation/registry_format.h"

#include "platform/text.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace foundation {

namespace {

constexpr std::string_view kHeaderLine = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeaderLine = "REGEDIT4";

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// True when `path` is `parent` itself or lies below it.
bool IsSameOrBelow(std::u16string_view path, std::u16string_view parent) {
    if (path.size() < parent.size()) return false;
    if (!platform::EqualsNoCase(path.substr(0, parent.size()), parent)) return false;
    return path.size() == parent.size() || path[parent.size()] == u'\\';
}

// A string needs the hex(1) form when the quoted form could not carry it back
// unchanged: line ends and other control characters, or a lone surrogate that
// UTF-8 cannot hold.
bool NeedsHexForm(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c < 0x20 || c == 0x7F) return true;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return true;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

void AppendQuoted(std::string& out, std::u16string_view text) {
    out += '"';
    for (char c : platform::Utf16ToUtf8(text)) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

void AppendHexBytes(std::string& out, const uint8_t* data, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < size; ++i) {
        if (i) out += ',';
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
}

void AppendName(std::string& out, std::u16string_view name) {
    if (name.empty()) {
        out += '@';
    } else {
        AppendQuoted(out, name);
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the
// closing quote.
bool ReadQuoted(std::string_view text, size_t& pos, std::u16string& out) {
    if (pos >= text.size() || text[pos] != '"') return false;
    size_t start = pos + 1;
    // Most names and values are plain ASCII without escapes: taken as they are.
    bool plain = true;
    size_t end = start;
    for (; end < text.size() && text[end] != '"'; ++end) {
        unsigned char c = static_cast<unsigned char>(text[end]);
        if (c == '\\' || c >= 0x80) {
            plain = false;
            break;
        }
    }
    if (plain) {
        if (end >= text.size()) return false;
        out.assign(text.begin() + static_cast<ptrdiff_t>(start), text.begin() + static_cast<ptrdiff_t>(end));
        pos = end + 1;
        return true;
    }
    std::string raw;
    for (pos = start; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            out = platform::Utf8ToUtf16(raw);
            return true;
        }
        if (c == '\\') {
            if (++pos >= text.size()) return false;
            c = text[pos];
            if (c != '\\' && c != '"') return false;
        }
        raw += c;
    }
    return false;
}

// Case folding for the parse index: ASCII names (nearly all) without the
// table lookup.
std::u16string FoldName(std::u16string_view name) {
    for (char16_t c : name)
        if (c >= 0x80) return platform::ToLower(name);
    std::u16string folded(name);
    for (char16_t& c : folded)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return folded;
}

bool ReadHexList(std::string_view text, std::vector<uint8_t>& bytes) {
    size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (pos == text.size()) return true;
    while (true) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        if (pos + 2 > text.size()) return false;
        int hi = HexDigit(text[pos]);
        int lo = HexDigit(text[pos + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
        pos += 2;
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        if (pos == text.size()) return true;
        if (text[pos] != ',') return false;
        ++pos;
    }
}

bool ParseValueData(std::string_view data, RegistryValue& value) {
    if (!data.empty() && data.front() == '"') {
        size_t pos = 0;
        std::u16string text;
        if (!ReadQuoted(data, pos, text) || pos != data.size()) return false;
        // A string is written back in its hex(1) form, which ends at the first
        // terminator: cut here as well, or every rewrite would cut it anew.
        if (size_t nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
        value = RegistryValue::String(text);
        return true;
    }
    if (data.starts_with("dword:")) {
        std::string_view digits = data.substr(6);
        if (digits.empty() || digits.size() > 8) return false;
        uint32_t number = 0;
        for (char c : digits) {
            int d = HexDigit(c);
            if (d < 0) return false;
            number = number * 16 + static_cast<uint32_t>(d);
        }
        value = RegistryValue::Dword(number);
        return true;
    }
    if (data.starts_with("hex:")) {
        std::vector<uint8_t> bytes;
        if (!ReadHexList(data.substr(4), bytes)) return false;
        value = RegistryValue::Binary(bytes);
        return true;
    }
    if (data.starts_with("hex(1):")) {
        std::vector<uint8_t> bytes;
        if (!ReadHexList(data.substr(7), bytes) || bytes.size() % 2 != 0) return false;
        std::u16string text;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
            // A REG_SZ ends at its first terminator.
            if (c == 0) break;
            text += c;
        }
        value = RegistryValue::String(text);
        return true;
    }
    return false;
}

// Splits into logical lines: "\" at the end of a line continues it on the next
// (regedit wraps long hex lists that way).
std::vector<std::string> LogicalLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    bool continuing = false;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (continuing) {
            size_t first = line.find_first_not_of(" \t");
            line = first == std::string_view::npos ? std::string_view() : line.substr(first);
        }
        std::string_view trimmedEnd = line;
        while (!trimmedEnd.empty() && (trimmedEnd.back() == ' ' || trimmedEnd.back() == '\t'))
            trimmedEnd.remove_suffix(1);
        bool hexLine = current.find("=hex") != std::string::npos ||
                       std::string_view(trimmedEnd).find("=hex") != std::string_view::npos;
        if (hexLine && !trimmedEnd.empty() && trimmedEnd.back() == '\\') {
            trimmedEnd.remove_suffix(1);
            current.append(trimmedEnd);
            continuing = true;
        } else {
            current.append(continuing ? trimmedEnd : line);
            lines.push_back(std::move(current));
            current.clear();
            continuing = false;
        }
        if (end == text.size()) break;
        start = end + 1;
    }
    if (!current.empty()) lines.push_back(std::move(current));
    return lines;
}

}  // namespace

RegistryValue RegistryValue::String(std::u16string_view text) {
    RegistryValue v;
    v.type = RegistryValueType::String;
    v.text = std::u16string(text);
    return v;
}

RegistryValue RegistryValue::Dword(uint32_t value) {
    RegistryValue v;
    v.type = RegistryValueType::Dword;
    v.dword = value;
    return v;
}

RegistryValue RegistryValue::Binary(std::span<const uint8_t> bytes) {
    RegistryValue v;
    v.type = RegistryValueType::Binary;
    v.bytes.assign(bytes.begin(), bytes.end());
    return v;
}

std::u16string NormalizeRegistryKeyPath(std::u16string_view path) {
    std::u16string out;
    for (char16_t c : path) {
        if (IsSeparator(c)) {
            if (!out.empty() && out.back() != u'\\') out += u'\\';
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.back() == u'\\') out.pop_back();
    return out;
}

RegistryKey* RegistryTree::FindKey(std::u16string_view path) {
    std::u16string wanted = NormalizeRegistryKeyPath(path);
    for (RegistryKey& key : keys)
        if (platform::EqualsNoCase(key.path, wanted)) return &key;
    return nullptr;
}

const RegistryKey* RegistryTree::FindKey(std::u16string_view path) const {
    return const_cast<RegistryTree*>(this)->FindKey(path);
}

RegistryKey& RegistryTree::FindOrAddKey(std::u16string_view path) {
    if (RegistryKey* key = FindKey(path)) return *key;
    keys.push_back(RegistryKey{NormalizeRegistryKeyPath(path), {}});
    return keys.back();
}

bool RegistryTree::RemoveKeyTree(std::u16string_view path) {
    std::u16string wanted = NormalizeRegistryKeyPath(path);
    size_t before = keys.size();
    std::erase_if(keys, [&](const RegistryKey& key) { return IsSameOrBelow(key.path, wanted); });
    return keys.size() != before;
}

const RegistryNamedValue* FindRegistryValue(const RegistryKey& key, std::u16string_view name) {
    for (const RegistryNamedValue& v : key.values)
        if (platform::EqualsNoCase(v.name, name)) return &v;
    return nullptr;
}

void SetRegistryValue(RegistryKey& key, std::u16string_view name, const RegistryValue& value) {
    for (RegistryNamedValue& v : key.values) {
        if (platform::EqualsNoCase(v.name, name)) {
            v.value = value;
            return;
        }
    }
    key.values.push_back(RegistryNamedValue{std::u16string(name), value});
}

bool RemoveRegistryValue(RegistryKey& key, std::u16string_view name) {
    size_t before = key.values.size();
    std::erase_if(key.values,
                  [&](const RegistryNamedValue& v) { return platform::EqualsNoCase(v.name, name); });
    return key.values.size() != before;
}

bool ParseRegistryText(std::string_view text, RegistryTree& tree) {
    tree.keys.clear();
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    bool sawHeader = false;
    bool sawContent = false;
    RegistryKey* current = nullptr;
    // Value positions by folded name, per key, so that a large hive parses in
    // linear time; a later line for the same name replaces the earlier value.
    std::map<std::u16string, std::unordered_map<std::u16string, size_t>> index;
    std::unordered_map<std::u16string, size_t>* currentIndex = nullptr;
    for (const std::string& line : LogicalLines(text)) {
        std::string_view l = line;
        size_t first = l.find_first_not_of(" \t");
        if (first == std::string_view::npos) continue;
        l = l.substr(first);
        if (l.front() == ';') continue;
        if (!sawHeader && !sawContent && (l == kHeaderLine || l == kOldHeaderLine)) {
            sawHeader = true;
            continue;
        }
        sawContent = true;
        if (l.front() == '[') {
            if (l.back() != ']' || l.size() < 3) return false;
            std::u16string path = NormalizeRegistryKeyPath(
                platform::Utf8ToUtf16(l.substr(1, l.size() - 2)));
            // "[-key]" deletes a key in this syntax; a leading separator must
            // not hide one, as the path is written back without it.
            if (path.empty() || path.front() == u'-') return false;
            current = &tree.FindOrAddKey(path);
            currentIndex = &index[platform::ToLower(current->path)];
            continue;
        }
        if (!current) return false;
        std::u16string name;
        size_t pos = 0;
        if (l.front() == '@') {
            pos = 1;
        } else if (!ReadQuoted(l, pos, name)) {
            return false;
        }
        if (pos >= l.size() || l[pos] != '=') return false;
        RegistryValue value;
        if (!ParseValueData(l.substr(pos + 1), value)) return false;
        auto [slot, added] = currentIndex->try_emplace(FoldName(name), current->values.size());
        if (added)
            current->values.push_back(RegistryNamedValue{std::move(name), std::move(value)});
        else
            current->values[slot->second].value = std::move(value);
    }
    return true;
}

std::string FormatRegistryText(const RegistryTree& tree) {
    std::string out(kHeaderLine);
    out += "\n";
    for (const RegistryKey& key : tree.keys) {
        out += "\n[";
        out += platform::Utf16ToUtf8(key.path);
        out += "]\n";
        for (const RegistryNamedValue& v : key.values) {
            AppendName(out, v.name);
            out += '=';
            switch (v.value.type) {
            case RegistryValueType::String:
                if (NeedsHexForm(v.value.text)) {
                    std::vector<uint8_t> bytes;
                    for (char16_t c : v.value.text) {
                        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
                        bytes.push_back(static_cast<uint8_t>(c >> 8));
                    }
                    bytes.push_back(0);
                    bytes.push_back(0);
                    out += "hex(1):";
                    AppendHexBytes(out, bytes.data(), bytes.size());
                } else {
                    AppendQuoted(out, v.value.text);
                }
                break;
            case RegistryValueType::Dword: {
                char digits[9];
                static const char kDigits[] = "0123456789abcdef";
                for (int i = 0; i < 8; ++i) digits[i] = kDigits[(v.value.dword >> (28 - 4 * i)) & 15];
                digits[8] = 0;
                out += "dword:";
                out += digits;
                break;
            }
            case RegistryValueType::Binary:
                out += "hex:";
                AppendHexBytes(out, v.value.bytes.data(), v.value.bytes.size());
                break;
            }
            out += '\n';
        }
    }
    return out;
}

}  // namespace foundation
