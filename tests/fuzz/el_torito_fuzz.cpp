// The open entry on bootable discs, where the El Torito recogniser reads the
// boot catalogue: no-emulation and floppy-emulation entries from xorriso and
// genisoimage, and a catalogue with a second section (EFI); every file's data
// (the boot images among them) is read.

/* seeds
mkdir -p src/boot && echo hello > src/a.txt
head -c 2048 /dev/urandom > src/boot/noemul.img
head -c 1474560 /dev/zero > src/boot/floppy.img
mkfs.fat -n BOOTFLOP src/boot/floppy.img >/dev/null
head -c 65536 /dev/urandom > src/boot/efi.img
touch -d @1700000000 src/a.txt src/boot/* src/boot src
genisoimage -quiet -b boot/floppy.img -c boot/boot.cat -o "$1/floppy.iso" src
# The floppy image is large: the other seeds are made without it.
rm src/boot/floppy.img
xorriso -as mkisofs -quiet -b boot/noemul.img -no-emul-boot -boot-load-size 4 -o "$1/noemul.iso" src >/dev/null 2>&1
xorriso -as mkisofs -quiet -b boot/noemul.img -no-emul-boot -eltorito-alt-boot -e boot/efi.img -no-emul-boot \
  -o "$1/efi.iso" src >/dev/null 2>&1
genisoimage -quiet -b boot/noemul.img -no-emul-boot -boot-load-size 1 -c boot/boot.cat -o "$1/small.iso" src
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("iso", data, size);
    return 0;
}
