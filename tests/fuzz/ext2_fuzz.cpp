// Our ext2 reader on ext2 and ext3 volumes as mke2fs makes them (block
// pointers; extent-mapped ext4 files are refused by the reader and seeded
// once so the refusal is fuzzed too): small and large blocks, a file through
// the indirect blocks, a symbolic link; every file's data is read.

/* seeds
mkdir -p src/sub && echo hello > src/a.txt && seq 1 30000 > src/sub/indirect.txt
ln -s ../a.txt src/sub/link
touch -h -d @1700000000 src/a.txt src/sub/indirect.txt src/sub/link src/sub src
mke2fs -q -F -t ext2 -b 1024 -N 16 -d src "$1/ext2-1k.img" 400
mke2fs -q -F -t ext2 -b 4096 -N 16 -d src "$1/ext2-4k.img" 1M
mke2fs -q -F -t ext3 -b 1024 -N 16 -J size=1 -d src "$1/ext3.img" 4M
mke2fs -q -F -t ext4 -b 1024 -N 16 -d src "$1/ext4.img" 2M
*/

#include "filesystems/ext2/ext2_volume.h"
#include "image/document/image_context.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::MountAndWalk(data, size, [](image::ImageContext& ctx) { return filesystems::MountExt2(ctx, nullptr); });
    return 0;
}
