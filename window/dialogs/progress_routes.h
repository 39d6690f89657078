#pragma once
// What the window program installs once at start-up so its long operations
// run under the progress dialog: its message face wrapped so that a worker's
// boxes and questions are asked on the window thread, and every save's
// writer run on the dialog's worker. The main frame's Extract command calls
// RunExtractDialog (extract_dialog.h); log lines from engines reach the open
// dialog through AddProgressLogLine (progress_prompts.h).

#include "foundation/messages_ui.h"

namespace dialogs::ui {

// windowFace must outlive the routes (until RemoveProgressRoutes).
void InstallProgressRoutes(foundation::UiServices& windowFace);
// Puts back the face installed before.
void RemoveProgressRoutes();

}  // namespace dialogs::ui
