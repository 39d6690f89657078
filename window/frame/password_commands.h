#pragma once
// The Encrypt drop-down and the Add/Change Password and Remove Password
// commands of the current document. They take over those ids of the
// ItemView group and pass every other id on to the handler installed before.

#include <cstdint>

namespace app::ui {

class CMainFrame;

inline constexpr uint32_t kCmdEncryptMenu = 33277;
inline constexpr uint32_t kCmdSetPassword = 33278;
inline constexpr uint32_t kCmdClearPassword = 33279;

void InstallPasswordCommands(CMainFrame* frame);

}  // namespace app::ui
