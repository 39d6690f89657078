#include "window/faces/file_type_cache.h"

#include <QMimeType>

#include "window/faces/qt_text.h"

namespace foundation::ui {

std::u16string FileTypeCache::ExtensionKey(std::u16string_view name) {
    const size_t slash = name.find_last_of(u"/\\");
    if (slash != std::u16string_view::npos) name.remove_prefix(slash + 1);
    const size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0) return {};
    std::u16string key(name.substr(dot + 1));
    for (char16_t& c : key)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return key;
}

const FileTypeCache::Entry& FileTypeCache::Lookup(std::u16string_view name) {
    std::u16string key = ExtensionKey(name);
    auto found = byExtension_.find(key);
    if (found != byExtension_.end()) return found->second;
    Entry entry;
    // Only the extension decides, as it does for every other name of that
    // extension: the file need not exist, and its contents are never read.
    const QMimeType type = key.empty() ? QMimeType()
                                       : database_.mimeTypeForFile(QStringLiteral("x.") + ToQString(key),
                                                                   QMimeDatabase::MatchExtension);
    if (type.isValid() && !type.isDefault()) {
        entry.typeName = ToU16(type.comment());
        const QString iconName = type.iconName();
        auto icon = iconByName_.find(ToU16(iconName));
        if (icon != iconByName_.end()) {
            entry.iconIndex = icon->second;
        } else {
            QIcon themed = QIcon::fromTheme(iconName, QIcon::fromTheme(type.genericIconName()));
            if (!themed.isNull()) {
                entry.iconIndex = static_cast<int>(icons_.size());
                icons_.push_back(themed);
                iconByName_.emplace(ToU16(iconName), entry.iconIndex);
            }
        }
    }
    return byExtension_.emplace(std::move(key), std::move(entry)).first->second;
}

std::optional<std::u16string> FileTypeCache::TypeName(std::u16string_view name) { return Lookup(name).typeName; }

int FileTypeCache::IconIndex(std::u16string_view name) { return Lookup(name).iconIndex; }

std::optional<std::u16string> FileTypeCache::FolderTypeName() {
    const QMimeType folder = database_.mimeTypeForName(QStringLiteral("inode/directory"));
    if (!folder.isValid()) return std::nullopt;
    return ToU16(folder.comment());
}

}  // namespace foundation::ui
