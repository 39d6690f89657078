#pragma once
// The Action menu's commands that look at items of the current document:
// View, View with..., View with Default Viewer (the item extracted to a
// private folder and handed to a program), Information, and Split settings.
// They share their command group with the password commands: ids not theirs
// go on to the handler installed before.

#include <cstdint>

namespace app::ui {

class CMainFrame;

inline constexpr uint32_t kCmdViewItem = 32909;
inline constexpr uint32_t kCmdViewTrack = 33223;
inline constexpr uint32_t kCmdViewItemWith = 32910;
inline constexpr uint32_t kCmdViewItemDefault = 32790;
inline constexpr uint32_t kCmdItemInformation = 32917;
inline constexpr uint32_t kCmdSplitSettings = 33280;

void InstallItemViewCommands(CMainFrame* frame);

}  // namespace app::ui
