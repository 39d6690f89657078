// The open entry on an ISZ image (masked chunk pointers over every chunk kind) around a small ISO.

/* seeds
mkdir -p tree/sub && head -c 20000 /dev/urandom > tree/rnd.bin && seq 1 3000 > tree/sub/n.txt
touch -d @1700000000 tree/rnd.bin tree/sub/n.txt tree/sub tree
xorriso -as mkisofs -quiet -J -o t.iso tree 2>/dev/null
python3 "$(git rev-parse --show-toplevel)/tests/containers/chunk_fixtures.py" isz t.iso "$1/seed.isz" zlib,bzip2,isz,stored 8192
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("isz", data, size);
    return 0;
}
