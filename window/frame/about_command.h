#pragma once
// Help/About (57664): the About dialog over the main frame.

namespace app::ui {

class CMainFrame;

void InstallAboutCommand(CMainFrame* frame);

}  // namespace app::ui
