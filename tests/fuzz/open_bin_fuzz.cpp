// The open entry on a .bin file with the sheet beside it that names it as one
// MODE1/2048 track: the data file is the fuzzed input.

/* seeds
mkdir -p src/sub && echo hello > src/a.txt && head -c 3000 /dev/urandom > src/sub/b.bin
touch -d @1700000000 src/a.txt src/sub/b.bin
genisoimage -quiet -no-pad -J -V BIN -o "$1/joliet.bin" src
cat > "$2/input.cue" <<'CUE'
FILE "input.bin" BINARY
  TRACK 01 MODE1/2048
    INDEX 01 00:00:00
CUE
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("bin", data, size);
    return 0;
}
