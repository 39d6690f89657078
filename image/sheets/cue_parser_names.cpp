#include "image/sheets/cue_parser_names.h"

#include <sys/stat.h>

#include "foundation/name_lookup.h"
#include "foundation/paths.h"
#include "platform/file.h"
#include "platform/text.h"

namespace image {

namespace {

constexpr size_t kMaxResolvedLength = 1023;

bool Exists(const std::u16string& path) {
    return platform::FileExists(path) || platform::DirectoryExists(path);
}

bool IsRegularFile(const std::u16string& path) {
    std::string name;
    struct stat st {};
    return platform::Utf16ToUtf8Strict(path, name) && stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace


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

    const foundation::ResolvedName found = foundation::ResolveNameNoCase(path, named, kMaxResolvedLength);
    if (found.parts == 0) return SheetNameStatus::Empty;
    if (found.path.size() > kMaxResolvedLength) return SheetNameStatus::TooLong;
    path = found.path;
    resolved = path;
    if (!found.found || !Exists(path)) return SheetNameStatus::NotFound;
    // Opening a pipe would wait for a writer, a device would be read whole,
    // a folder is no data: only a regular file (or a link to one) is taken.
    return IsRegularFile(path) ? SheetNameStatus::Ok : SheetNameStatus::NotRegularFile;
}

}  // namespace image
