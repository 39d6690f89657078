#pragma once
// The Extract command of documents made of audio tracks: it rips them to
// music files (window/dialogs/rip_audio_dialog.h) instead of copying items.
// Installed over the Extraction group's handler; every other document keeps
// the handler that was there.

namespace app::ui {

class CMainFrame;

void InstallAudioExtractCommand(CMainFrame* frame);

}  // namespace app::ui
