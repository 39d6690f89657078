// The open entry on a VHD disk (fixed and dynamic) holding a small FAT volume.

/* seeds
mkdir -p src/sub && echo hello > src/a.txt && touch -d @1700000000 src/a.txt src/sub src
mkfs.fat -C -n DISK fat.img 256 >/dev/null
MTOOLS_SKIP_CHECK=1 mcopy -s -i fat.img src/a.txt src/sub ::
qemu-img convert -q -f raw -O vpc -o subformat=fixed fat.img "$1/fixed.vhd"
qemu-img create -q -f vpc "$1/empty-dynamic.vhd" 1M
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("vhd", data, size);
    return 0;
}
