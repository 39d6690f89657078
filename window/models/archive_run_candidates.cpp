#include "window/models/archive_run_candidates.h"

#include <algorithm>

#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"

namespace dialogs {
namespace {

// ISO 9660 file flags byte of the record header; bit 0 hides the entry.
constexpr size_t kRecordFlagsAt = 25;

int ExtensionRank(std::u16string_view extension) {
    if (extension == u"bat") return 0;
    if (extension == u"msi") return 1;
    return 2;
}

bool NameIsSafe(std::u16string_view name) {
    if (name.empty() || name == u"." || name == u"..") return false;
    for (char16_t c : name)
        if (c == 0 || c == u'\r' || c == u'\n' || c == u'/' || c == u'\\') return false;
    return true;
}

bool IsHidden(const image::ImageItem& item) { return (item.recordHeader[kRecordFlagsAt] & 1) != 0; }

}  // namespace

int RunNameScore(std::u16string_view fileName) {
    const size_t dot = fileName.rfind(u'.');
    if (dot == std::u16string_view::npos) return 0;
    const std::u16string extension = platform::ToLower(fileName.substr(dot + 1));
    if (extension != u"exe" && extension != u"msi" && extension != u"bat") return 0;
    const std::u16string stem = platform::ToLower(fileName.substr(0, dot));
    constexpr std::u16string_view kWord = u"setup";
    if (stem == kWord) return 99;
    if (stem.starts_with(kWord)) return 89;
    if (stem.ends_with(kWord)) return 88;
    if (stem.find(kWord) != std::u16string::npos) return 79;
    return 19;
}

std::vector<RunCandidate> CollectRunCandidates(const image::ImageContext& archive) {
    std::vector<RunCandidate> candidates;
    const image::ImageFolder* folder = archive.rootFolder;
    if (!folder) return candidates;
    std::u16string prefix;
    // A top that holds one folder and no file: look inside it.
    const image::ImageItem* onlyFolder = nullptr;
    int entries = 0;
    for (const image::ImageItem* item = folder->firstItem; item; item = item->next) {
        const std::u16string_view name = item->name.view();
        if (name == u"." || name == u"..") continue;
        ++entries;
        if (image::IsFolderItem(item)) onlyFolder = item;
    }
    if (entries == 1 && onlyFolder && onlyFolder->ownFolder && NameIsSafe(onlyFolder->name.view())) {
        prefix = std::u16string(onlyFolder->name.view()) + u"/";
        folder = onlyFolder->ownFolder;
    }
    for (const image::ImageItem* item = folder->firstItem; item; item = item->next) {
        const std::u16string_view name = item->name.view();
        if (image::IsFolderItem(item) || IsHidden(*item) || !NameIsSafe(name)) continue;
        const int score = RunNameScore(name);
        if (score == 0) continue;
        RunCandidate candidate;
        candidate.path = prefix + std::u16string(name);
        candidate.extension = platform::ToLower(name.substr(name.rfind(u'.') + 1));
        candidate.score = score;
        candidate.size = item->size;
        candidate.time = item->time;
        candidate.order = item->archiveIndex;
        candidates.push_back(std::move(candidate));
    }
    // Equal scores keep the archive's own order, whatever order the folder's
    // list was built in.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const RunCandidate& a, const RunCandidate& b) { return a.order < b.order; });
    std::stable_sort(candidates.begin(), candidates.end(), [](const RunCandidate& a, const RunCandidate& b) {
        if (a.score != b.score) return a.score > b.score;
        return ExtensionRank(a.extension) < ExtensionRank(b.extension);
    });
    return candidates;
}

size_t ListedCandidateCount(const std::vector<RunCandidate>& candidates, bool showAll) {
    if (showAll || candidates.empty()) return candidates.size();
    const int best = candidates.front().score;
    const int floor = best >= 90 ? 90 : best >= 80 ? 80 : best >= 70 ? 70 : 0;
    size_t count = 0;
    while (count < candidates.size() && candidates[count].score >= floor) ++count;
    return count;
}

std::u16string KilobyteText(int64_t size) {
    if (size < 0) return {};
    const uint64_t bytes = uint64_t(size);
    // Rounded up without the overflow of (size + 1023) near the top.
    const uint64_t kilobytes = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    return platform::Utf8ToUtf16(std::to_string(kilobytes)) + u" KB";
}

}  // namespace dialogs
