// The open entry on a .wim file: the WIM reader with its LZX and XPRESS
// decoders.

/* seeds
mkdir -p src/sub && echo hello > src/a.txt && head -c 3000 /dev/urandom > src/sub/b.bin
python3 -c "print('a line that compresses well' * 700)" > src/sub/text.txt
touch -d @1700000000 src/a.txt src/sub/b.bin src/sub/text.txt
wimcapture src "$1/none.wim" --compress=none >/dev/null
wimcapture src "$1/xpress.wim" --compress=XPRESS >/dev/null
wimcapture src "$1/lzx.wim" --compress=LZX >/dev/null
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("wim", data, size);
    return 0;
}
