// The open entry on FAT volumes as mkfs.fat and mcopy make them: FAT12,
// FAT16 and FAT32, long names, a subfolder, a file over many clusters; every
// file's data is read.

/* seeds
export MTOOLS_SKIP_CHECK=1
mkdir -p src/sub && echo hello > src/a.txt && head -c 5000 /dev/urandom > src/sub/b.bin
echo long > "src/A long name.txt"
touch -d @1700000000 src/a.txt src/sub/b.bin "src/A long name.txt" src/sub src
mkfs.fat -C -n FAT12 "$1/fat12.img" 160 >/dev/null
mcopy -s -i "$1/fat12.img" src/a.txt src/sub "src/A long name.txt" ::
mkfs.fat -C -F 16 -s 1 -n FAT16 "$1/fat16.img" 4200 >/dev/null
mcopy -s -i "$1/fat16.img" src/a.txt src/sub ::
mkfs.fat -C -F 32 -s 1 -n FAT32 "$1/fat32.img" 34000 >/dev/null
mcopy -s -i "$1/fat32.img" src/a.txt src/sub "src/A long name.txt" ::
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("img", data, size);
    return 0;
}
