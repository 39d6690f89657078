#pragma once
// The desktop's type names and icons of file names, looked up once per
// extension: the file list asks for every row, and the MIME database is slow
// enough per name to make a big folder crawl.

#include <QIcon>
#include <QMimeDatabase>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace foundation::ui {

class FileTypeCache {
public:
    // The type name of a file name ("ISO image"), nothing when the desktop
    // knows none (it gives the generic type for anything it does not know).
    std::optional<std::u16string> TypeName(std::u16string_view name);
    std::optional<std::u16string> FolderTypeName();
    // An index into Icons() for the file name's type; -1 when it has none.
    int IconIndex(std::u16string_view name);
    const std::vector<QIcon>& Icons() const { return icons_; }
    size_t CachedExtensions() const { return byExtension_.size(); }

    // The lower-case extension of a name, without its dot; empty when none.
    static std::u16string ExtensionKey(std::u16string_view name);

private:
    struct Entry {
        std::optional<std::u16string> typeName;
        int iconIndex = -1;
    };
    const Entry& Lookup(std::u16string_view name);

    QMimeDatabase database_;
    std::unordered_map<std::u16string, Entry> byExtension_;
    std::unordered_map<std::u16string, int> iconByName_;
    std::vector<QIcon> icons_;
};

}  // namespace foundation::ui
