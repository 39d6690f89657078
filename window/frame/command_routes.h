#pragma once
// Which part of the window program answers each command of the main frame.
// The frame answers the File, Language, bar and Help commands itself; the
// other groups belong to the views, dialogs and drive code, which take them
// over at start-up with InstallCommandHandler. A command whose group has no
// handler yet is shown disabled.

#include <cstdint>
#include <functional>
#include <string_view>

namespace app::ui {

enum class CommandGroup {
    None,              // not a command of the frame
    Frame,             // the frame's own handlers
    NoAction,          // listed, does nothing
    Views,             // view modes, sorting, selection, navigation, the tree toggle
    ItemView,          // view, view with, information, passwords, archive settings
    Extraction,        // extract, export Video CD tracks
    Clipboard,         // copy, cut, paste
    Editing,           // add, new folder, delete, rename, label
    Player,            // play, pause, stop, tracks
    VirtualDrive,      // mount, unmount, drives
    Tools,             // burn, make image, compress, decompress, convert, options
    ArchiveProperties, // the archive property sheet
    RecentFiles,       // the Reopen items
    About,             // the About dialog
};

CommandGroup GroupOfCommand(uint32_t id);
// Every command id of the frame's table, in table order (ranges expanded).
const std::vector<uint32_t>& FrameCommandIds();

struct CommandHandler {
    std::function<void(uint32_t id)> run;
    // Null: always enabled.
    std::function<bool(uint32_t id)> enabled;
    // Null: never checked.
    std::function<bool(uint32_t id)> checked;
};
// Installs (or with an empty run, removes) the handler of a group other than
// Frame, None and NoAction.
void InstallCommandHandler(CommandGroup group, CommandHandler handler);
// The installed handler of a group, or null.
const CommandHandler* HandlerOfGroup(CommandGroup group);

}  // namespace app::ui
