#pragma once
// The four adapters behind OpenMusicEncoder and LoadEncoderLibrary.

#include <cstdio>
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

// Each writes into the caller's open file (fd stays the caller's).
std::unique_ptr<MusicEncoder> OpenMp3(int fd, const MusicTags& tags);
std::unique_ptr<MusicEncoder> OpenFlac(int fd, uint64_t totalBytes, const MusicTags& tags);
std::unique_ptr<MusicEncoder> OpenOgg(int fd, const MusicTags& tags);
std::unique_ptr<MusicEncoder> OpenApe(int fd, uint64_t totalBytes, const MusicTags& tags);

// A stdio stream of its own over the caller's open file (a duplicate of fd,
// which the stream closes); null with errno set.
FILE* StreamOverFile(int fd, const char* mode);

// "Error loading %s." with the file name.
void LoadFailed(EncoderError* error, const char* fileName);

}  // namespace audio::detail
