#pragma once
// What the libFuzzer targets share: a private folder for the inputs, the
// companion files a target's seed recipe made, and the open entry with every
// reader installed.
//
// A target is one file, tests/fuzz/<name>_fuzz.cpp, holding
//   - a seed recipe between a line "/* seeds" and a line "*/": bash run by
//     tests/fuzz/run in a scratch folder, with $1 the seed folder (one small
//     input per file, made by real tools where one exists) and $2 the
//     companion folder (files put beside every input, such as the data file a
//     fuzzed sheet names);
//   - LLVMFuzzerTestOneInput, usually one call of the helpers below.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace image {
struct ImageContext;
}

namespace qvfuzz {

// The process's own folder (mode 0700), made on first use, with the
// companions of $QV_FUZZ_COMPANIONS copied in and QV_CONFIG_DIR pointed at a
// settings folder inside it.
const std::string& WorkFolder();

// Writes the input to WorkFolder()/name and returns its path.
std::string WriteInput(std::string_view name, const uint8_t* data, size_t size);

// The input as "input.<extension>" beside the companions, opened through
// app::OpenImageByPath with every reader installed; the tree is walked, every
// file's data read through the item reader (up to a budget per input), and
// the document freed.
void OpenThroughOpenEntry(std::string_view extension, const uint8_t* data, size_t size);

// The input as a bare volume handed straight to one file-system reader (the
// open entry may give a bare volume to the archive library instead): a disk
// document over "input.img" is made, mount is called on it, and when it
// answers 1 the tree is walked and every file's data read as above.
void MountAndWalk(const uint8_t* data, size_t size, int (*mount)(image::ImageContext&));

}  // namespace qvfuzz
