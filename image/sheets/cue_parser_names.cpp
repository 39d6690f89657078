#include "image/sheets/cue_parser_names.h"

#include <dirent.h>

#include <memory>
#include <vector>

#include "platform/file.h"
#include "foundation/paths.h"
#include "platform/dir_handle.h"
#include "platform/text.h"

namespace image {

namespace {

bool Exists(const std::u16string& path) {
    return platform::FileExists(path) || platform::DirectoryExists(path);
}

}  // namespace


std::u16string FindNameNoCase(const std::u16string& folder, std::u16string_view name) {
    if (name.empty()) return std::u16string();
    if (Exists(foundation::CombinePath(folder, name))) return std::u16string(name);
    std::string folderUtf8;
    if (!platform::Utf16ToUtf8Strict(folder.empty() ? std::u16string_view(u".") : std::u16string_view(folder),
                                     folderUtf8)) {
        return std::u16string();
    }
    platform::DirHandle dir(opendir(folderUtf8.c_str()));
    if (!dir) return std::u16string();
    std::u16string found;
    while (dirent* entry = readdir(dir.get())) {
        std::u16string entryName;
        if (!platform::Utf8ToUtf16Strict(entry->d_name, entryName)) continue;
        if (entryName == u"." || entryName == u"..") continue;
        if (platform::EqualsNoCase(entryName, name)) {
            // Several names may differ only by case; take the smallest so the
            // choice does not depend on the folder's order.
            if (found.empty() || entryName < found) found = entryName;
        }
    }
    return found;
}

SheetNameStatus ResolveSheetFileName(const std::u16string& sheetPath, std::u16string_view name,
                                     std::u16string& resolved) {
    resolved.clear();
    std::u16string folder = foundation::FolderOfPath(sheetPath);
    std::u16string relative;
    if (name.size() >= 2 && name[0] == u'*' && name[1] == u'.') {
        std::u16string sheetName = foundation::NameOfPath(sheetPath);
        size_t dot = sheetName.rfind(u'.');
        if (dot != std::u16string::npos && dot > 0) sheetName.resize(dot);
        relative = sheetName + std::u16string(name.substr(1));
    } else {
        if (name.empty()) return SheetNameStatus::Empty;
        if (name[0] == u'/' || name[0] == u'\\' || (name.size() >= 2 && name[1] == u':')) {
            return SheetNameStatus::Absolute;
        }
        relative.assign(name);
    }

    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find_first_of(u"/\\", start);
        if (end == std::u16string::npos) end = relative.size();
        std::u16string part = relative.substr(start, end - start);
        if (part == u"..") return SheetNameStatus::ParentReference;
        if (!part.empty() && part != u".") parts.push_back(part);
        start = end + 1;
    }
    if (parts.empty()) return SheetNameStatus::Empty;

    std::u16string path = folder;
    bool found = true;
    for (const std::u16string& part : parts) {
        std::u16string actual = found ? FindNameNoCase(path, part) : std::u16string();
        if (actual.empty()) {
            found = false;
            actual = part;
        }
        path = foundation::CombinePath(path, actual);
        if (path.size() > 1023) return SheetNameStatus::TooLong;
    }
    resolved = path;
    return found ? SheetNameStatus::Ok : SheetNameStatus::NotFound;
}

}  // namespace image
