#pragma once
// The four adapters behind OpenMusicEncoder and LoadEncoderLibrary.

#include <memory>
#include <string>

#include "audio/encoders/music_encoder.h"

namespace audio::detail {

bool LoadLame(EncoderError* error);
bool LoadFlac(EncoderError* error);
bool LoadVorbis(EncoderError* error);
bool LoadApe(EncoderError* error);
void ResetLame();
void ResetFlac();
void ResetVorbis();
void ResetApe();

std::unique_ptr<MusicEncoder> OpenMp3(const std::u16string& path, const MusicTags& tags);
std::unique_ptr<MusicEncoder> OpenFlac(const std::u16string& path, uint64_t totalBytes, const MusicTags& tags);
std::unique_ptr<MusicEncoder> OpenOgg(const std::u16string& path, const MusicTags& tags);
std::unique_ptr<MusicEncoder> OpenApe(const std::u16string& path, uint64_t totalBytes, const MusicTags& tags);

// "Error loading %s." with the file name.
void LoadFailed(EncoderError* error, const char* fileName);

}  // namespace audio::detail
