#include "foundation/window_faces.h"

#include "foundation/paths.h"
#include "foundation/services.h"
#include "platform/format.h"
#include "platform/text.h"

namespace foundation {

namespace {

// No window: the stand-in is never asked; the callers take their "none" answers
// when nothing is installed.
class NoWindowFaces final : public WindowFaces {
public:
    std::optional<std::u16string> OpenFileDialog(void*, const FileFilterList&, std::u16string_view,
                                                std::u16string_view) override {
        return std::nullopt;
    }
    std::optional<SaveAnswer> SaveFileDialog(const SaveDialogRequest&) override { return std::nullopt; }
    std::optional<std::u16string> BrowseForFolder(void*, std::u16string_view, std::u16string_view) override {
        return std::nullopt;
    }
    std::optional<std::u16string> TypeNameForFile(std::u16string_view) override { return std::nullopt; }
    std::optional<std::u16string> FolderTypeName() override { return std::nullopt; }
    int IconIndexForFile(std::u16string_view) override { return -1; }
    bool OpenWithChooser(std::u16string_view) override { return false; }
    bool AddTrayIcon(std::u16string_view) override { return false; }
    void SetTrayIconTip(std::u16string_view) override {}
    void RemoveTrayIcon() override {}
};

ServiceSlot<WindowFaces, NoWindowFaces>& Slot() {
    static ServiceSlot<WindowFaces, NoWindowFaces> slot;
    return slot;
}

}  // namespace

WindowFaces* InstalledWindowFaces() { return Slot().Installed(); }
WindowFaces* SetWindowFaces(WindowFaces* faces) { return Slot().Install(faces); }

std::optional<std::u16string> ShowOpenFileDialog(void* owner, const FileFilterList& filters,
                                                 std::u16string_view defaultExtension,
                                                 std::u16string_view initialPath) {
    WindowFaces* faces = InstalledWindowFaces();
    if (!faces) return std::nullopt;
    return faces->OpenFileDialog(owner, filters, defaultExtension, initialPath);
}

std::optional<std::u16string> ShowSaveFileDialog(void* owner, const FileFilterList& filters,
                                                 std::u16string_view defaultExtension,
                                                 std::u16string_view initialName, std::u16string_view title) {
    WindowFaces* faces = InstalledWindowFaces();
    if (!faces || filters.empty()) return std::nullopt;
    SaveDialogRequest request;
    request.owner = owner;
    request.filters = &filters;
    request.defaultExtension = std::u16string(defaultExtension);
    request.selectedFilter = FindFilterForExtension(filters, defaultExtension);
    request.initialName = ApplyFilterExtension(initialName, filters[request.selectedFilter]);
    request.title = std::u16string(title);
    auto answer = faces->SaveFileDialog(request);
    if (!answer) return std::nullopt;
    const size_t selected = answer->selectedFilter < filters.size() ? answer->selectedFilter : 0;
    return CompleteSavedName(answer->path, filters[selected]);
}

int BrowseForFolder(void* owner, std::u16string_view title, std::u16string_view startFolder,
                    std::u16string& folder) {
    WindowFaces* faces = InstalledWindowFaces();
    if (!faces) return -1;
    auto chosen = faces->BrowseForFolder(owner, title, startFolder);
    if (!chosen) return -1;
    folder = *chosen;
    return 0;
}

ItemTypeInfo GetItemTypeInfo(std::u16string_view name, bool isFolder) {
    WindowFaces* faces = InstalledWindowFaces();
    ItemTypeInfo info;
    if (isFolder) {
        auto folderName = faces ? faces->FolderTypeName() : std::nullopt;
        info.typeText = folderName ? *folderName : u"Folder";
        return info;
    }
    if (faces) {
        info.iconIndex = faces->IconIndexForFile(name);
        if (auto known = faces->TypeNameForFile(name)) {
            info.typeText = *known;
            return info;
        }
    }
    const size_t dot = FindExtensionDot(name);
    if (dot == std::u16string_view::npos || dot + 1 == name.size()) {
        info.typeText = u"File";
    } else {
        info.typeText = platform::ToUpper(name.substr(dot + 1));
        info.typeText.append(u" File");
    }
    return info;
}

std::u16string TrackDisplayName(int trackNumber, bool isVideo, std::u16string_view sourcePath) {
    if (!sourcePath.empty()) {
        const size_t separator = sourcePath.find_last_of(u"/\\");
        std::u16string_view name =
            separator == std::u16string_view::npos ? sourcePath : sourcePath.substr(separator + 1);
        if (!name.empty()) return std::u16string(name);
    }
    return platform::Format(isVideo ? u"Track%02d.mpg" : u"Track%02d.cda", trackNumber);
}

std::u16string TrayTipText(std::u16string_view tip) {
    if (tip.empty()) return u"Quendravine";
    if (tip.size() > kTrayTipMaxChars) {
        size_t keep = kTrayTipMaxChars;
        // Never cut a surrogate pair in half.
        if (tip[keep - 1] >= 0xD800 && tip[keep - 1] <= 0xDBFF) --keep;
        tip = tip.substr(0, keep);
    }
    return std::u16string(tip);
}

bool AddTrayIcon(std::u16string_view tip) {
    WindowFaces* faces = InstalledWindowFaces();
    return faces != nullptr && faces->AddTrayIcon(TrayTipText(tip));
}
void SetTrayIconTip(std::u16string_view tip) {
    if (WindowFaces* faces = InstalledWindowFaces()) faces->SetTrayIconTip(TrayTipText(tip));
}
void RemoveTrayIcon() {
    if (WindowFaces* faces = InstalledWindowFaces()) faces->RemoveTrayIcon();
}

}  // namespace foundation
