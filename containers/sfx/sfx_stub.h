#pragma once
// The stub program that self-extracting output starts with: the file
// "Quendravine.SFX" in the install folder.

#include <cstdint>
#include <optional>
#include <vector>

namespace containers {

inline constexpr char16_t kSfxStubName[] = u"Quendravine.SFX";

// The whole stub; nothing when the install folder is unknown or the file is
// missing, empty or implausibly large.
std::optional<std::vector<uint8_t>> ReadSfxStub();

}  // namespace containers
