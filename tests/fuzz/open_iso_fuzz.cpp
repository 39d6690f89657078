// The open entry on an .iso file: ISO 9660 and Joliet, El Torito, and the file
// systems the installed readers find beside them (UDF, HFS).

/* seeds
mkdir -p src/sub src/boot
echo hello > src/a.txt
head -c 3000 /dev/urandom > src/sub/b.bin
head -c 2048 /dev/zero > src/boot/boot.img
touch -d @1700000000 src/a.txt src/sub/b.bin src/boot/boot.img
genisoimage -quiet -no-pad -J -R -V PLAIN -o "$1/joliet.iso" src
genisoimage -quiet -no-pad -V BOOT -b boot/boot.img -no-emul-boot -boot-load-size 4 -o "$1/boot.iso" src
genisoimage -quiet -no-pad -udf -V UDF -o "$1/udf.iso" src
genisoimage -quiet -no-pad -hfs -V HFS -o "$1/hfs.iso" src
xorriso -as mkisofs -quiet -no-pad -J -V XORRISO -o "$1/xorriso.iso" src
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("iso", data, size);
    return 0;
}
