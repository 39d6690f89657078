#include "window/panes/list_cells.h"

#include "image/document/item_tree.h"
#include "platform/text.h"

namespace app::ui {

std::u16string SizeCellText(int64_t size) {
    const uint64_t bytes = static_cast<uint64_t>(size);
    if (bytes == UINT64_MAX) return {};
    const uint64_t kib = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    return platform::Utf8ToUtf16(std::to_string(kib)) + u" KB";
}

namespace {
std::u16string ThreeNumbers(uint32_t frames, char16_t separator) {
    const uint32_t minutes = frames / 4500;
    const uint32_t seconds = frames / 75 % 60;
    const uint32_t rest = frames % 75;
    auto two = [](uint32_t n) {
        std::string text = std::to_string(n);
        if (text.size() < 2) text.insert(0, 1, '0');
        return platform::Utf8ToUtf16(text);
    };
    return two(minutes) + u":" + two(seconds) + std::u16string(1, separator) + two(rest);
}
}  // namespace

std::u16string AudioLengthText(uint32_t frames) { return ThreeNumbers(frames, u'.'); }
std::u16string VideoLengthText(uint32_t frames) { return ThreeNumbers(frames, u':'); }

std::u16string TrackSizeText(uint32_t frames) {
    return platform::Utf8ToUtf16(std::to_string(uint64_t{frames} * 2352 / 1024)) + u" KB";
}

bool IsVisibleItem(const image::ImageItem& item) {
    const std::u16string_view name = item.name.view();
    if (name == u"." || name == u"..") return false;
    return (item.flags & image::item_flag::kExcluded) == 0;
}

bool IsFolderItem(const image::ImageItem& item) { return item.ownFolder != nullptr; }

}  // namespace app::ui
