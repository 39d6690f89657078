#include "foundation/paths.h"

namespace foundation {

size_t FindLastBackslash(std::u16string_view path) { return path.rfind(kPathSeparator); }

bool EndsWithBackslash(std::u16string_view path) {
    return !path.empty() && path.back() == kPathSeparator;
}

size_t AddTrailingBackslash(std::u16string& path) {
    if (!EndsWithBackslash(path)) path.push_back(kPathSeparator);
    return path.size();
}

size_t RemoveTrailingBackslash(std::u16string& path) {
    if (EndsWithBackslash(path)) path.pop_back();
    return path.size();
}

size_t FindExtensionDot(std::u16string_view name) {
    const size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos) return dot;
    const size_t separator = FindLastBackslash(name);
    if (separator != std::u16string_view::npos && separator > dot) return std::u16string_view::npos;
    return dot;
}

std::u16string FolderOfPath(std::u16string_view path) {
    const size_t slash = FindLastBackslash(path);
    if (slash == std::u16string_view::npos) return std::u16string();
    if (slash == 0) return std::u16string(1, kPathSeparator);
    return std::u16string(path.substr(0, slash));
}

std::u16string NameOfPath(std::u16string_view path) {
    const size_t slash = FindLastBackslash(path);
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

std::u16string CombinePath(std::u16string_view folder, std::u16string_view name) {
    if (folder.empty()) return std::u16string(name);
    while (!name.empty() && name.front() == kPathSeparator) name.remove_prefix(1);
    std::u16string path(folder);
    // Keep a lone "/" (the root) as it is.
    while (path.size() > 1 && path.back() == kPathSeparator && path[path.size() - 2] == kPathSeparator)
        path.pop_back();
    AddTrailingBackslash(path);
    path.append(name);
    return path;
}

std::u16string CStringToNewString(const char16_t* text) {
    return text ? std::u16string(text) : std::u16string();
}

std::u16string ChangeFileExtension(std::u16string_view name, std::u16string_view extension,
                                   MissingExtension missing) {
    size_t i = name.size();
    while (i > 0) {
        const char16_t c = name[i - 1];
        if (c == u'.') {
            std::u16string result(name.substr(0, i));
            result.append(extension);
            return result;
        }
        if (c == u'\\' || c == u'/' || c == u':') break;
        --i;
    }
    std::u16string result(name);
    if (missing == MissingExtension::Append) {
        result.push_back(u'.');
        result.append(extension);
    }
    return result;
}

std::u16string ChangeExtensionForFormat(std::u16string_view name, int32_t outputFormat,
                                        int32_t archiveKind) {
    std::u16string_view extension;
    switch (outputFormat) {
        case kOutputFormatIso: extension = u"iso"; break;
        case kOutputFormatBin:
        case kOutputFormatBinCue: extension = u"bin"; break;
        case kOutputFormatDaa: extension = u"daa"; break;
        case kOutputFormatMzp: extension = u"mzp"; break;
        case kOutputFormatXdi: extension = u"xdi"; break;
        case kOutputFormatArchive: extension = archiveKind == kArchiveKindZip ? u"zip" : u"7z"; break;
        default: return std::u16string();
    }
    return ChangeFileExtension(name, extension, MissingExtension::Append);
}

}  // namespace foundation
