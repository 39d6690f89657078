// The open entry on a DAA image (LZMA86, deflate-variant and stored chunks, a masked table, a comment) around a small ISO.

/* seeds
mkdir -p tree/sub && head -c 20000 /dev/urandom > tree/rnd.bin && seq 1 3000 > tree/sub/n.txt
touch -d @1700000000 tree/rnd.bin tree/sub/n.txt tree/sub tree
xorriso -as mkisofs -quiet -J -o t.iso tree 2>/dev/null
python3 "$(git rev-parse --show-toplevel)/tests/containers/chunk_fixtures.py" daa t.iso "$1/seed.daa" kinds=lzma,deflate,stored chunk=16384 v=4 mask=1 comment=c
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("daa", data, size);
    return 0;
}
