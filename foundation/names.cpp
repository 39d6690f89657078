#include "foundation/names.h"

#include <algorithm>

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

#include "foundation/language.h"
#include "foundation/messages.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/dir_handle.h"
#include "platform/text.h"

namespace foundation {

namespace {

char16_t UpperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

template <typename String, typename Pred>
void TrimTrailing(String& text, Pred isBlank) {
    size_t end = text.size();
    while (end > 0 && isBlank(text[end - 1])) --end;
    text.erase(end);
}

}  // namespace

bool EqualNoCaseW(char16_t a, char16_t b) { return UpperAscii(a) == UpperAscii(b); }

void ReplaceCharW(std::u16string& text, char16_t from, char16_t to) {
    for (char16_t& c : text)
        if (c == from) c = to;
}

void TrimTrailingSpacesA(std::string& text) {
    TrimTrailing(text, [](char c) { return c == ' '; });
}
void TrimTrailingSpacesW(std::u16string& text) {
    TrimTrailing(text, [](char16_t c) { return c == u' '; });
}
void StripTrailingBlanksA(std::string& text) {
    TrimTrailing(text, [](char c) { return c == ' ' || c == '\t'; });
}
void StripTrailingBlanksW(std::u16string& text) {
    TrimTrailing(text, [](char16_t c) { return c == u' ' || c == u'\t'; });
}

std::optional<std::u16string> ValidateFileName(std::u16string_view name) {
    while (!name.empty() && name.front() == u' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == u' ') name.remove_suffix(1);
    // An empty name, "." and ".." are no names of their own, and control
    // characters cannot be typed back or shown; they are refused like the nine.
    const bool controls = std::any_of(name.begin(), name.end(), [](char16_t c) { return c < 0x20; });
    if (name.empty() || name == u"." || name == u".." || controls ||
        name.find_first_of(kInvalidFileNameChars) != std::u16string_view::npos) {
        std::u16string text(kInvalidFileNameText);
        text.append(kInvalidFileNameList);
        AppMessageBox(text, kMbOk | kMbIconExclamation);
        return std::nullopt;
    }
    return std::u16string(name);
}

std::u16string DecodeLabelLinkName(std::string_view linkName) {
    std::string bytes;
    for (size_t i = 0; i < linkName.size(); ++i) {
        auto hex = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        if (linkName[i] == '\\' && i + 3 < linkName.size() && linkName[i + 1] == 'x' &&
            hex(linkName[i + 2]) >= 0 && hex(linkName[i + 3]) >= 0) {
            bytes.push_back(static_cast<char>(hex(linkName[i + 2]) * 16 + hex(linkName[i + 3])));
            i += 3;
        } else {
            bytes.push_back(linkName[i]);
        }
    }
    return platform::Utf8ToUtf16(bytes);
}

int GetVolumeLabelTextIn(std::string_view byLabelFolder, std::u16string_view rootPath, std::u16string& label) {
    label.clear();
    std::string root;
    if (!platform::Utf16ToUtf8Strict(rootPath, root)) return -1;
    struct stat rootStat {};
    if (stat(root.c_str(), &rootStat) != 0) {
        platform::SetLastErrorFromErrno();
        return -1;
    }
    const std::string folder(byLabelFolder);
    platform::DirHandle dir(opendir(folder.c_str()));
    if (!dir) {
        platform::SetLastError(platform::kErrorNotFound);
        return -1;
    }
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat device {};
        if (stat((folder + "/" + std::string(name)).c_str(), &device) != 0) continue;
        if (S_ISBLK(device.st_mode) && device.st_rdev == rootStat.st_dev) {
            label = DecodeLabelLinkName(name);
            return 0;
        }
    }
    platform::SetLastError(platform::kErrorNotFound);
    return -1;
}

int GetVolumeLabelText(std::u16string_view rootPath, std::u16string& label) {
    return GetVolumeLabelTextIn("/dev/disk/by-label", rootPath, label);
}

std::u16string GetImageDisplayName(const ImageNameFacts& facts) {
    if (!facts.hasImage) return std::u16string(facts.documentTitle);
    if (facts.driveLetter != 0)
        return platform::Format(u"%s [%c:]", GetLangString(30490, u"Drive"), facts.driveLetter);
    if (facts.openedThroughSheet && !facts.sheetPath.empty()) return std::u16string(facts.sheetPath);
    return std::u16string(facts.imagePath);
}

std::u16string GetImageTypeDescription(const ImageTypeFacts& facts) {
    if (facts.formatCode == kFormatCodeArchive) {
        if (facts.archiveFormatName.empty()) return std::u16string();
        std::u16string text(facts.archiveFormatName);
        text.push_back(u' ');
        text.append(GetLangString(1580, u"Archive"));
        return text;
    }
    if (facts.formatCode == kFormatCodeMzp) return GetLangString(1590, u"Mountable Archive");
    if (facts.formatCode == kFormatCodeDmg) return GetLangString(1600, u"Apple DMG File");
    switch (facts.diskBackEnd) {
        case DiskImageBackEnd::VirtualBox: return GetLangString(1540, u"VirtualBox Virtual Disk Image");
        case DiskImageBackEnd::VirtualPc: return GetLangString(1550, u"Virtual PC Virtual Disk Image");
        case DiskImageBackEnd::VMware: return GetLangString(1530, u"VMWare Virtual Disk Image");
        case DiskImageBackEnd::None: break;
    }
    if (facts.isWim) return GetLangString(1560, u"Windows Imaging File");
    if (facts.isXbox) return GetLangString(1570, u"XBOX DVD Image");
    std::u16string text = facts.inCompressedContainer
                              ? GetLangString(1610, u"Compressed CD/DVD/BD Image File")
                              : GetLangString(1620, u"CD/DVD/BD Image File");
    if (facts.hasUdf) text.append(u" (UDF)");
    return text;
}

}  // namespace foundation
