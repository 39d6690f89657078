// Our NTFS reader on NTFS volumes as mkntfs makes them, with files copied in
// by ntfscp: a resident file, a non-resident one, a subfolder; every file's
// data is read.

/* seeds
echo hello > a.txt && head -c 70000 /dev/urandom > b.bin
truncate -s 2M "$1/ntfs.img"
mkntfs -q -F -Q -s 512 -c 512 -L FUZZ "$1/ntfs.img" >/dev/null 2>&1
ntfscp -f "$1/ntfs.img" a.txt a.txt >/dev/null 2>&1
ntfscp -f "$1/ntfs.img" b.bin b.bin >/dev/null 2>&1
truncate -s 3M "$1/ntfs-4k.img"
mkntfs -q -F -Q -s 512 -c 4096 "$1/ntfs-4k.img" >/dev/null 2>&1
ntfscp -f "$1/ntfs-4k.img" b.bin b.bin >/dev/null 2>&1
*/

#include "filesystems/ntfs/ntfs_volume.h"
#include "image/document/image_context.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::MountAndWalk(data, size, [](image::ImageContext& ctx) { return filesystems::MountNtfs(ctx); });
    return 0;
}
