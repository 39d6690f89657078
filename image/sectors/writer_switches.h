#pragma once
// The container writer switches the console's command line sets and the
// container writers read: E writes the writer's trailing data block, C
// compresses it first, H lets a DAA 0x110 chunk of type 0 start 14 bytes into
// its compressed output.

#include <atomic>

namespace image {

extern std::atomic<bool> WriterSwitchE;   // default off
extern std::atomic<bool> WriterSwitchC;   // default off
extern std::atomic<bool> WriterSwitchH;   // default on

// The switches back to their defaults (tests).
void ResetWriterSwitches();

}  // namespace image
