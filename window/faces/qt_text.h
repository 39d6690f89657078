#pragma once
// The program keeps its texts as UTF-16 strings; Qt keeps them as QString.
// Both are UTF-16, so the conversion is a copy.

#include <QString>

#include <string>
#include <string_view>

namespace foundation::ui {

inline QString ToQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}
inline std::u16string ToU16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

}  // namespace foundation::ui
