// The open entry on an .img file that no disc-image row takes: hard-disk
// images, plain or partitioned, read by the file-system readers.

/* seeds
mkdir -p src/sub && echo hello > src/a.txt && head -c 3000 /dev/urandom > src/sub/b.bin
touch -d @1700000000 src/a.txt src/sub/b.bin src/sub src
mkfs.fat -C -n FLOPPY "$1/fat12.img" 160 >/dev/null
MTOOLS_SKIP_CHECK=1 mcopy -s -i "$1/fat12.img" src/a.txt src/sub ::
mke2fs -q -F -t ext2 -b 1024 -N 16 -d src "$1/ext2.img" 128
# An MBR with one FAT12 partition from sector 63.
truncate -s 512K "$1/mbr-fat12.img"
echo 'start=63, type=1' | sfdisk -q "$1/mbr-fat12.img"
mkfs.fat -F 12 --offset 63 -n PART "$1/mbr-fat12.img" 480 >/dev/null
MTOOLS_SKIP_CHECK=1 mcopy -s -i "$1/mbr-fat12.img@@32256" src/a.txt src/sub ::
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("img", data, size);
    return 0;
}
