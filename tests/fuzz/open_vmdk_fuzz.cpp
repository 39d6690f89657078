// The open entry on a VMDK disk (monolithic sparse) holding a small FAT volume.

/* seeds
mkdir -p src/sub && echo hello > src/a.txt && touch -d @1700000000 src/a.txt src/sub src
mkfs.fat -C -n DISK fat.img 256 >/dev/null
MTOOLS_SKIP_CHECK=1 mcopy -s -i fat.img src/a.txt src/sub ::
qemu-img convert -q -f raw -O vmdk fat.img "$1/sparse.vmdk"
qemu-img create -q -f vmdk "$1/empty.vmdk" 1M
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("vmdk", data, size);
    return 0;
}
