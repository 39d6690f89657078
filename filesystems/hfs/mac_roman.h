#pragma once
// Mac OS Roman, the character set of classic HFS names, turned into UTF-16.

#include <span>
#include <string>

namespace filesystems {

std::u16string MacRomanToUtf16(std::span<const uint8_t> bytes);

}  // namespace filesystems
