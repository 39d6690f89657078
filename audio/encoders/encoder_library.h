#pragma once
// Where the encoder libraries are taken from: the install folder first, then
// the system's search by name. They are bound through platform::RuntimeLibrary.

#include <mutex>
#include <string>
#include <vector>

#include "platform/runtime_library.h"

namespace audio::detail {

// The paths to try for an encoder library's file name, in order.
std::vector<std::string> EncoderLibraryCandidates(const std::string& name);

// One lock for every library table: loads happen once, before encoders open.
std::mutex& LibraryLock();

}  // namespace audio::detail
