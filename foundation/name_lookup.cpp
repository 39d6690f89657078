#include "foundation/name_lookup.h"

#include <dirent.h>

#include "foundation/paths.h"
#include "platform/dir_handle.h"
#include "platform/file.h"
#include "platform/text.h"

namespace foundation {
namespace {

bool Exists(const std::u16string& path) { return platform::FileExists(path) || platform::DirectoryExists(path); }

}  // namespace

std::u16string FindNameNoCase(const std::u16string& folder, std::u16string_view name) {
    if (name.empty()) return std::u16string();
    if (Exists(CombinePath(folder, name))) return std::u16string(name);
    std::string folderUtf8;
    if (!platform::Utf16ToUtf8Strict(folder.empty() ? std::u16string_view(u".") : std::u16string_view(folder),
                                     folderUtf8))
        return std::u16string();
    platform::DirHandle dir(opendir(folderUtf8.c_str()));
    if (!dir) return std::u16string();
    std::u16string found;
    while (dirent* entry = readdir(dir.get())) {
        std::u16string entryName;
        if (!platform::Utf8ToUtf16Strict(entry->d_name, entryName)) continue;
        if (entryName == u"." || entryName == u"..") continue;
        if (platform::EqualsNoCase(entryName, name) && (found.empty() || entryName < found)) found = entryName;
    }
    return found;
}

ResolvedName ResolveNameNoCase(std::u16string_view folder, std::u16string_view name, size_t maxLength) {
    ResolvedName out{std::u16string(folder), true};
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of(u"/\\", start);
        if (end == std::u16string_view::npos) end = name.size();
        const std::u16string_view part = name.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == u".") continue;
        std::u16string actual = out.found && part != u".." ? FindNameNoCase(out.path, part) : std::u16string();
        if (actual.empty()) {
            if (part != u"..") out.found = false;
            actual.assign(part);
        }
        out.path = CombinePath(out.path, actual);
        ++out.parts;
        if (out.path.size() > maxLength) {
            out.found = false;
            break;
        }
    }
    return out;
}

std::u16string ResolvePathNoCase(std::u16string_view path) {
    const std::u16string given(path);
    if (path.empty() || Exists(given)) return given;
    const std::u16string folder = FolderOfPath(path);
    const std::u16string found = FindNameNoCase(folder, NameOfPath(path));
    return found.empty() ? given : CombinePath(folder, found);
}

}  // namespace foundation
