// The open entry on Mac volumes: classic HFS (512-byte allocation blocks, a
// file in the extents overflow tree), HFS behind an Apple partition map, and
// HFS+ on an xorriso hybrid.

/* seeds
export HOME=$PWD
mkdir -p src/sub && echo hello > src/a.txt && head -c 3000 /dev/urandom > src/sub/b.bin
touch -d @1700000000 src/a.txt src/sub/b.bin src/sub src
dd if=/dev/zero of="$1/hfs.img" bs=1k count=800 2>/dev/null
hformat -l V "$1/hfs.img" >/dev/null
hmount "$1/hfs.img" >/dev/null
hmkdir :sub && hcopy -r src/a.txt : && hcopy -r src/sub/b.bin :sub:
head -c 8192 /dev/urandom > s
for i in 1 2 3 4 5 6 7 8; do hcopy -r s :f$i; done
for i in 1 3 5 7; do hdel :f$i; done
head -c 60000 /dev/urandom > big && hcopy -r big :
humount >/dev/null
genisoimage -quiet -hfs -part -o "$1/part.img" src
xorriso -as mkisofs -quiet -hfsplus -o "$1/plus.img" src >/dev/null 2>&1
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("img", data, size);
    return 0;
}
