#pragma once
// Connects saving audio tracks to the extraction: the extraction's overwrite
// question and error report behind the audio layer's save seam, and the audio
// track and Video CD track writers in the extraction table. Installed at
// start-up (after the readers), removed at the end.

namespace app::ui {

void InstallAudioSaveRoutes();
void RemoveAudioSaveRoutes();

}  // namespace app::ui
