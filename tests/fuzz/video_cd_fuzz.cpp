// The open entry on Video CDs as vcdimager writes them from an MPEG-1 stream
// ffmpeg makes: the raw image with its CUE sheet beside it, where the Video CD
// recogniser finds the INFO.VCD and ENTRIES.VCD files and the MPEG track;
// every file's data (the track written as RIFF CDXA among them) is read.

/* seeds
ffmpeg -loglevel error -f lavfi -i testsrc=size=352x240:rate=30000/1001 -f lavfi -i sine=frequency=440 -t 1 \
  -target ntsc-vcd clip.mpg
vcdimager -t vcd2 -l FUZZVCD -c v.cue -b v.bin clip.mpg >/dev/null 2>&1
cp v.bin "$1/vcd.bin"
sed 's/"v.bin"/"input.bin"/' v.cue > "$2/input.cue"
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("bin", data, size);
    return 0;
}
