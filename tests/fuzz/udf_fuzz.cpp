// The open entry on UDF: xorriso's hybrid with genisoimage's UDF bridge, and
// bare UDF volumes of mkudffs in two revisions; every file's data is read.

/* seeds
mkdir -p src/sub && echo hello > src/a.txt && head -c 5000 /dev/urandom > src/sub/b.bin
touch -d @1700000000 src/a.txt src/sub/b.bin src/sub src
genisoimage -quiet -udf -o "$1/bridge.iso" src
mkudffs --media-type=hd --blocksize=512 --udfrev=0x0201 "$1/udf201.img" 600 >/dev/null 2>&1
mkudffs --media-type=hd --blocksize=2048 --udfrev=0x0150 "$1/udf150.img" 300 >/dev/null 2>&1
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("iso", data, size);
    return 0;
}
