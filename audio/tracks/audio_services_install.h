#pragma once
// Puts the audio side behind the image core's audio seam
// (image/sectors/audio_services.h): decoded tracks' sectors, the probe of
// music files for CUE sheets and audio CD projects, and the process-wide
// music decoder. Called once at start-up by every program that opens images.

namespace audio {

void InstallAudioServices();

}  // namespace audio
