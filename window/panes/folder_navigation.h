#pragma once
// Moving between the folders of the shown document: the address box that
// names the shown folder with the document's totals, the history walked by
// Back, Forward and their drop-down menus, Up, and a path typed into the
// address box. Folders are reached through the folder tree, so the tree, the
// list and the history always agree.

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

#include "app/navigation_history.h"
#include "image/document/item_tree.h"

class QLineEdit;
class QMenu;
class QModelIndex;

namespace image {
struct ImageContext;
struct ImageFolder;
}  // namespace image

namespace app::ui {

class CMainFrame;
class FramePanes;

inline constexpr uint32_t kCmdBack = 32772, kCmdForward = 32773, kCmdUp = 32774;
inline constexpr uint32_t kCmdFirstHistory = 32815, kCmdLastHistory = 32822;

class FolderNavigation : public QObject {
    Q_OBJECT
public:
    FolderNavigation(CMainFrame* frame, FramePanes* panes);

    // A new document: no history, a blank address box, totals counted anew.
    void Clear();
    // The item tree changed: the document's totals are counted again when
    // next shown.
    void ForgetTotals() { totalsValid_ = false; }
    // The list shows a folder: the address box names it and, unless a
    // history move shows it, the history records it.
    void FolderShown(image::ImageFolder* folder);

    bool Runs(uint32_t id) const;
    void Run(uint32_t id);

    // The path of a tree node: "/" for the root, else "/name/name".
    QString PathOfNode(const QModelIndex& node) const;
    // Shows the folder of a path through the tree; false (nothing shown)
    // when it does not exist.
    bool GoToPath(const QString& path);
    // The entries of a direction as a drop-down's items (history commands).
    void FillHistoryMenu(QMenu* menu, bool back);
    // A path typed into the address box and confirmed with Enter.
    void AcceptAddress();

    const app::NavigationHistory& History() const { return history_; }
    // The address box's text for a folder path of the current document.
    QString AddressText(const QString& folderPath);

private:
    QLineEdit* Box() const;
    void Move(std::optional<std::u16string> entry, int previousPosition);

    CMainFrame* frame_;
    FramePanes* panes_;
    app::NavigationHistory history_;
    bool recordingSuppressed_ = false;
    QString shownPath_;
    image::ImageContext* totalsDocument_ = nullptr;
    bool totalsValid_ = false;
    image::TreeStatistics totals_;
};

}  // namespace app::ui
