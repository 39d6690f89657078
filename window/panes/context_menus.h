#pragma once
// The right-click menus of the file list, the folder tree and the track list,
// the view-mode drop-downs, and the Action menu's entries for the document
// kind. Every entry is a command of the frame's one command table: the menus
// run, enable and check it exactly as the menu bar does.

#include <cstdint>
#include <vector>

class QMenu;

namespace app::ui {

class CMainFrame;

enum class ContextKind {
    FileRow,      // selected rows, the first a file
    FolderRow,    // selected rows, the first a folder: no "View with"
    ListSpace,    // nothing selected in the file list
    TreeNode,     // a folder tree node
    TrackSpace,   // nothing selected in the audio-track list
    TrackRows,    // selected audio tracks
};

// The tree menu's "Open", which is no command of the table.
inline constexpr uint32_t kCmdOpenNode = 32797;

// The command ids of a menu in order, 0 for a separator; a submenu's ids are
// listed where it stands, after a separator-like marker of its own (see
// BuildContextMenu).
std::vector<uint32_t> ContextMenuIds(ContextKind kind);

// Fills menu with the entries of kind. viewMode and sortColumn check the
// entries of the "View" and "Sort" submenus (the track list's mode for the
// track menus). The first entry is the default one.
void BuildContextMenu(CMainFrame* frame, QMenu* menu, ContextKind kind, int viewMode = -1, int sortColumn = -1);
// The four view modes from firstId, the current one checked.
void BuildModeMenu(CMainFrame* frame, QMenu* menu, uint32_t firstId, int checkedMode);

// The Action menu shows the editing entries for a data document and the
// music and video entries where tracks can be added, nothing twice however
// often the kind changes.
void RebuildActionMenu(CMainFrame* frame);

}  // namespace app::ui
