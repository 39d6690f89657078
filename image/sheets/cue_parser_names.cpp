#include "image/sheets/cue_parser_names.h"

#include <dirent.h>
#include <sys/stat.h>

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

bool IsRegularFile(const std::u16string& path) {
    std::string name;
    struct stat st {};
    return platform::Utf16ToUtf8Strict(path, name) && stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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
    std::u16string path = foundation::FolderOfPath(sheetPath);
    std::u16string named;
    if (name.size() >= 2 && name[0] == u'*' && name[1] == u'.') {
        std::u16string sheetName = foundation::NameOfPath(sheetPath);
        size_t dot = sheetName.rfind(u'.');
        if (dot != std::u16string::npos && dot > 0) sheetName.resize(dot);
        named = sheetName + std::u16string(name.substr(1));
    } else {
        if (name.empty()) return SheetNameStatus::Empty;
        if (name.size() >= 2 && name[1] == u':') {
            if (name.size() > 1023) return SheetNameStatus::TooLong;
            resolved.assign(name);
            return SheetNameStatus::NotFound;
        }
        if (name[0] == u'/' || name[0] == u'\\') path = u"/";
        named.assign(name);
    }

    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= named.size()) {
        size_t end = named.find_first_of(u"/\\", start);
        if (end == std::u16string::npos) end = named.size();
        std::u16string part = named.substr(start, end - start);
        if (!part.empty() && part != u".") parts.push_back(part);
        start = end + 1;
    }
    if (parts.empty()) return SheetNameStatus::Empty;

    bool found = true;
    for (const std::u16string& part : parts) {
        // ".." stays in the path: the file system resolves it, through links
        // as it would for any program given the same name.
        std::u16string actual = found && part != u".." ? FindNameNoCase(path, part) : part;
        if (actual.empty()) {
            found = false;
            actual = part;
        }
        path = foundation::CombinePath(path, actual);
        if (path.size() > 1023) return SheetNameStatus::TooLong;
    }
    resolved = path;
    if (!found || !Exists(path)) return SheetNameStatus::NotFound;
    // Opening a pipe would wait for a writer, a device would be read whole,
    // a folder is no data: only a regular file (or a link to one) is taken.
    return IsRegularFile(path) ? SheetNameStatus::Ok : SheetNameStatus::NotRegularFile;
}

}  // namespace image
