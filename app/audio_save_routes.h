#pragma once
// Connects saving audio tracks to the extraction: the extraction's overwrite
// question and error report behind the audio layer's save seam, and the audio
// track and Video CD track writers in the extraction table. Installed at
// start-up by the window program and the console program (after the readers),
// removed at the end.

namespace cmdline {

void InstallAudioSaveRoutes();
void RemoveAudioSaveRoutes();

}  // namespace cmdline
