#pragma once
// What the image core needs of the main window: view upkeep while the item tree
// changes, the name-change notice, the recent-file list, the refresh after a
// language switch. Declared here, by its lowest caller; the window program
// installs the real one. Until then every call does nothing (console mode and
// tests).

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/services.h"

namespace image {

struct ImageContext;
struct ImageFolder;
struct ImageItem;

class IMainWindowServices {
public:
    virtual ~IMainWindowServices() = default;

    // View upkeep.
    virtual void NotifyItemAddedOrRemoved(image::ImageContext* ctx, image::ImageFolder* folder,
                                          image::ImageItem* item, bool added) = 0;
    virtual void BeginViewUpdate() = 0;
    virtual void EndViewUpdate() = 0;
    // Releases the node's slot in a pending cut transfer and sets its cut slot to 0.
    virtual void DetachFromCutTransfer(image::ImageItem* item, image::ImageFolder* folder) = 0;
    // Shows the folder in the file list and makes it g_CurrentFolder.
    virtual void FillFileListWithFolder(image::ImageFolder* folder) = 0;
    virtual void RefreshListItemDate(image::ImageContext* ctx, image::ImageFolder* folder, image::ImageItem* item) = 0;
    virtual void ShowNameChangedNotice(std::u16string_view oldName, std::u16string_view newName, bool isFolder) = 0;

    // Recent files.
    virtual void AddRecentFile(std::u16string_view path) = 0;
    virtual void RemoveRecentFile(std::u16string_view path) = 0;

    // Refresh after a language switch (title, menus, status bar, tool bar
    // captions, address box, list column titles).
    virtual void RefreshAfterLanguageSwitch() = 0;
};

namespace detail {
// No window: nothing to update.
class MainWindowStandIn : public IMainWindowServices {
public:
    void NotifyItemAddedOrRemoved(image::ImageContext*, image::ImageFolder*, image::ImageItem*, bool) override {}
    void BeginViewUpdate() override {}
    void EndViewUpdate() override {}
    void DetachFromCutTransfer(image::ImageItem*, image::ImageFolder*) override {}
    void FillFileListWithFolder(image::ImageFolder*) override {}
    void RefreshListItemDate(image::ImageContext*, image::ImageFolder*, image::ImageItem*) override {}
    void ShowNameChangedNotice(std::u16string_view, std::u16string_view, bool) override {}
    void AddRecentFile(std::u16string_view) override {}
    void RemoveRecentFile(std::u16string_view) override {}
    void RefreshAfterLanguageSwitch() override {}
};
}  // namespace detail

inline foundation::ServiceSlot<IMainWindowServices, detail::MainWindowStandIn>& MainWindowServicesSlot() {
    static foundation::ServiceSlot<IMainWindowServices, detail::MainWindowStandIn> slot;
    return slot;
}
inline IMainWindowServices& MainWindowServices() { return MainWindowServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IMainWindowServices* SetMainWindowServices(IMainWindowServices* services) {
    return MainWindowServicesSlot().Install(services);
}

inline void NotifyItemAddedOrRemoved(image::ImageContext* ctx, image::ImageFolder* folder, image::ImageItem* item,
                                     bool added) {
    MainWindowServices().NotifyItemAddedOrRemoved(ctx, folder, item, added);
}
inline void BeginViewUpdate() { MainWindowServices().BeginViewUpdate(); }
inline void EndViewUpdate() { MainWindowServices().EndViewUpdate(); }
inline void DetachFromCutTransfer(image::ImageItem* item, image::ImageFolder* folder) {
    MainWindowServices().DetachFromCutTransfer(item, folder);
}
inline void FillFileListWithFolder(image::ImageFolder* folder) { MainWindowServices().FillFileListWithFolder(folder); }
inline void RefreshListItemDate(image::ImageContext* ctx, image::ImageFolder* folder, image::ImageItem* item) {
    MainWindowServices().RefreshListItemDate(ctx, folder, item);
}
inline void ShowNameChangedNotice(std::u16string_view oldName, std::u16string_view newName, bool isFolder) {
    MainWindowServices().ShowNameChangedNotice(oldName, newName, isFolder);
}
inline void AddRecentFile(std::u16string_view path) { MainWindowServices().AddRecentFile(path); }
inline void RemoveRecentFile(std::u16string_view path) { MainWindowServices().RemoveRecentFile(path); }
}  // namespace image
