#pragma once
// Whether the notice that a save changed an item's name stays silent: the
// user ticked "Do not display this message again" during this save. Every
// save and every burn preparation starts with it clear. Atomic: the notice is
// asked from the save's worker and answered on the window thread.

#include <atomic>

namespace app {

inline std::atomic<bool> g_SuppressNameNotice{false};

}  // namespace app
