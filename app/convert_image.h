#pragma once
// Converting an image file into another format, the one road for the console's
// "convert" and the window's image tools: the source, opened as a document of
// its own, is written by the save engine (app::SaveDocument), with its checks
// by file identity, its temporary-then-rename outputs and its volume sets.

#include <cstdint>
#include <string>
#include <string_view>

#include "image/document/image_context.h"

namespace app {

// The output's archive options, for a caller that sets them (the image-tool
// dialogs); a format that takes neither volumes nor a password gets neither,
// so an ".iso" never silently becomes a set of MZP volumes.
struct ConvertOptions {
    bool split = false;
    int64_t volumeSize = 0;
    std::string password;   // archive code page, checked by the caller; empty for none
};

// True for the output formats that keep a password and volumes of their own.
bool FormatTakesArchiveOptions(int32_t format);

// Writes source as destination in format (-1: by the destination's
// extension). The destination's folder is made, or the failure told, before
// any work. 0 converted; -1 not (the user was told why, or cancelled).
int ConvertImageFile(image::ImageContext& source, std::u16string_view destination, int32_t format,
                     const ConvertOptions* options);

}  // namespace app
