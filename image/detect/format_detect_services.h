#pragma once
// Openers and probes that format detection calls and other parts of the image
// core and the container subsystem provide. Until one is linked in, its
// stand-in in format_detect_seams.cpp answers "not this format"; the reader
// that lands removes its stand-in.

#include <cstdint>

namespace image {

struct ImageContext;

// NRG image (format 3, or 100 for an audio disc): 0 opened, -1 not NRG
// (the NRG reader's OpenNrgImageReader).
int OpenNrgImage(ImageContext& ctx);
// DMG, UIF and ISZ images (formats 4, 5, 6): 0 opened, -1 not that format.
int OpenDmgImage(ImageContext& ctx);
int OpenUifImage(ImageContext& ctx);
int OpenIszImage(ImageContext& ctx);
// Whether the file ends in a DAA/HXI self-extracting trailer record.
bool HasDaaSfxTrailer(ImageContext& ctx);
// DAA/HXI, MZP and XDI containers attached as the document's reader: 0
// attached (sector reads possible or not), -1 not that container.
int AttachDaaContainer(ImageContext& ctx);
int AttachMzpContainer(ImageContext& ctx);
int AttachXdiContainer(ImageContext& ctx);
// Video CD kind of the detected image (0 none).
int DetectVideoCd(ImageContext& ctx);

}  // namespace image
