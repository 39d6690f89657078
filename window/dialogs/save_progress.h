#pragma once
// The window half of saving: the document's writer runs on the progress
// dialog's worker ("Creating archive... "), while the checks and questions
// before it stay on the window thread. InstallSaveProgress makes every save
// of the window program (Save, Save As, the close question) take this road.

#include <QWidget>

#include "app/save_engine.h"

namespace dialogs::ui {

// The writer under a progress dialog owned by the active window; its result
// (1 saved, 0 cancelled, -1 failed).
int RunWriterUnderProgress(app::DocumentWriter writer, app::SaveRequest& request);

// Installs RunWriterUnderProgress as the save engine's runner of writers.
void InstallSaveProgress();
void RemoveSaveProgress();

}  // namespace dialogs::ui
