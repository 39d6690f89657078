#include "filesystems/disk/vmdk_descriptor.h"

#include <cctype>

namespace filesystems {
namespace {

enum class Section { kHeader = 0, kExtents = 1, kDatabase = 2 };

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// A decimal number of at most 19 digits (so it fits 64 bits).
bool TakeNumber(std::string_view& text, uint64_t& value) {
    size_t digits = 0;
    value = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) {
        if (digits == 19) return false;
        value = value * 10 + uint64_t(text[digits] - '0');
        ++digits;
    }
    if (digits == 0) return false;
    text.remove_prefix(digits);
    return true;
}

bool TakeWord(std::string_view& text, std::string_view word) {
    if (!StartsWith(text, word)) return false;
    text.remove_prefix(word.size());
    return true;
}

bool TakeBlank(std::string_view& text) { return TakeWord(text, " "); }

// RW 4192256 SPARSE "name.vmdk" [offset]   or   RW 8192 ZERO
bool ParseExtentLine(std::string_view line, VmdkExtentLine& extent) {
    if (TakeWord(line, "RW ")) {
        extent.access = VmdkAccess::kReadWrite;
    } else if (TakeWord(line, "RDONLY ")) {
        extent.access = VmdkAccess::kReadOnly;
    } else if (TakeWord(line, "NOACCESS ")) {
        extent.access = VmdkAccess::kNoAccess;
    } else {
        return false;
    }
    if (!TakeNumber(line, extent.sectors) || !TakeBlank(line)) return false;
    if (TakeWord(line, "ZERO")) {
        extent.kind = VmdkExtentKind::kZero;
        return line.empty() || line == " ";
    }
    if (TakeWord(line, "SPARSE")) {
        extent.kind = VmdkExtentKind::kSparse;
    } else if (TakeWord(line, "FLAT")) {
        extent.kind = VmdkExtentKind::kFlat;
    } else {
        return false;
    }
    if (!TakeBlank(line)) return false;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (!TakeWord(line, "\"")) return false;
    const size_t close = line.find('"');
    if (close == std::string_view::npos || close == 0) return false;
    extent.fileName.assign(line.substr(0, close));
    line.remove_prefix(close + 1);
    if (line.empty()) return true;
    if (!TakeBlank(line) || !TakeNumber(line, extent.startOffset)) return false;
    return line.empty();
}

bool IsExtentLine(std::string_view line) {
    return StartsWith(line, "RW ") || StartsWith(line, "RDONLY ") || StartsWith(line, "NOACCESS ");
}

}  // namespace

bool ParseVmdkDescriptor(std::string_view text, VmdkDescriptor& descriptor) {
    descriptor = {};
    Section section = Section::kHeader;
    size_t lineCount = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        // Every line counts, empty and comment lines too.
        if (++lineCount > kMaxDescriptorLines) return false;
        if (lineCount == 1) {
            if (line != "# Disk DescriptorFile" && line != "# Disk Descriptor File") return false;
            continue;
        }
        if (line.find_first_not_of(" \t") == std::string_view::npos || line.front() == '#') continue;
        Section kind = Section::kHeader;
        if (StartsWith(line, "ddb.")) {
            kind = Section::kDatabase;
        } else if (IsExtentLine(line)) {
            kind = Section::kExtents;
        }
        if (kind < section) return false;
        section = kind;
        if (kind == Section::kExtents) {
            VmdkExtentLine extent;
            if (!ParseExtentLine(line, extent)) return false;
            descriptor.extents.push_back(std::move(extent));
        } else if (kind == Section::kHeader && StartsWith(line, "parentCID")) {
            std::string_view value = line.substr(9);
            while (!value.empty() && (value.front() == ' ' || value.front() == '=')) value.remove_prefix(1);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
            std::string lower(value);
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            descriptor.hasParent = lower != "ffffffff";
        }
    }
    return lineCount > 0;
}

}  // namespace filesystems
