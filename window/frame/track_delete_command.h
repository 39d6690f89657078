#pragma once
// Delete on the track list's pop-up menus: the chosen tracks leave a writable
// track document after the same question as the file list's Delete. It
// shares the Editing group with the file commands: other ids go on to the
// handler installed before.

#include <cstdint>

namespace app::ui {

class CMainFrame;

inline constexpr uint32_t kCmdDeleteTracks = 33224;
inline constexpr uint32_t kCmdDeleteTracksVideo = 33259;

void InstallTrackDeleteCommand(CMainFrame* frame);

}  // namespace app::ui
