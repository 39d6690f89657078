#include "containers/archive/arc_item_paths.h"

#include "image/iso/iso_directory.h"

namespace containers::archive {

NormalisedPath NormaliseItemPath(std::u16string_view path) {
    NormalisedPath out;
    size_t i = 0;
    bool first = true;
    while (i <= path.size()) {
        size_t end = i;
        while (end < path.size() && path[end] != u'/' && path[end] != u'\\') ++end;
        std::u16string_view component = path.substr(i, end - i);
        i = end + 1;
        // A drive prefix names no folder of the archive.
        if (first && component.size() == 2 && component[1] == u':' &&
            ((component[0] >= u'A' && component[0] <= u'Z') || (component[0] >= u'a' && component[0] <= u'z'))) {
            first = false;
            continue;
        }
        first = false;
        if (component.empty() || component == u".") continue;
        if (component == u"..") {
            out.droppedParent = true;
            continue;
        }
        if (out.components.size() >= kMaxItemPathDepth) {
            out.tooDeep = true;
            out.components.clear();
            return out;
        }
        std::u16string name(component);
        image::SanitizeItemName(name);
        out.components.push_back(std::move(name));
    }
    return out;
}

std::u16string JoinComponents(const std::vector<std::u16string>& components, size_t count) {
    std::u16string path;
    for (size_t k = 0; k < count && k < components.size(); ++k) {
        if (k) path += u'/';
        path += components[k];
    }
    return path;
}

}  // namespace containers::archive
