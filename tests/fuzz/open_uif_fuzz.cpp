// The open entry on a UIF image (zlib block table over stored and zlib entries) around a small ISO.

/* seeds
mkdir -p tree/sub && head -c 20000 /dev/urandom > tree/rnd.bin && seq 1 3000 > tree/sub/n.txt
touch -d @1700000000 tree/rnd.bin tree/sub/n.txt tree/sub tree
xorriso -as mkisofs -quiet -J -o t.iso tree 2>/dev/null
python3 "$(git rev-parse --show-toplevel)/tests/containers/chunk_fixtures.py" uif t.iso "$1/seed.uif" 5,1,7 16384 2048
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("uif", data, size);
    return 0;
}
