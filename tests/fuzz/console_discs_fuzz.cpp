// The open entry on game-console discs. No Debian tool writes them, so the
// seeds are built from the documented layouts: an Xbox disc (its volume
// descriptor at sector 32, a directory tree of left and right links, a
// subfolder, 0xFF padding) and a Wii disc header; every file's data is read.

/* seeds
python3 - "$1" <<'PY'
import struct, sys
out = sys.argv[1]
img = bytearray(64 * 2048)
def entry(buf, at, left, right, sector, size, folder, name):
    struct.pack_into("<HHIIBB", buf, at, left // 4, right // 4, sector, size, 0x10 if folder else 0x20, len(name))
    buf[at + 14:at + 14 + len(name)] = name
root = bytearray(b"\xff" * 2048)
sub = bytearray(b"\xff" * 2048)
entry(root, 0, 20, 60, 40, 7, False, b"m.txt")
entry(root, 20, 0, 40, 41, 3000, False, b"a.bin")
entry(root, 40, 0, 0, 43, 2, False, b"b.txt")
entry(root, 60, 0, 0, 35, 2048, True, b"sub")
entry(sub, 0, 0, 0, 44, 2, False, b"c.txt")
d = 32 * 2048
img[d:d + 20] = b"MICROSOFT*XBOX*MEDIA"
struct.pack_into("<II", img, d + 20, 33, 2048)
img[d + 2028:d + 2048] = b"MICROSOFT*XBOX*MEDIA"
img[33 * 2048:34 * 2048] = root
img[35 * 2048:36 * 2048] = sub
for sector, data in ((40, b"middle\n"), (41, b"a" * 3000), (43, b"b\n"), (44, b"c\n")):
    img[sector * 2048:sector * 2048 + len(data)] = data
open(out + "/xbox.iso", "wb").write(img)
wii = bytearray(64 * 1024)
wii[0:6] = b"RFUZ01"
struct.pack_into(">I", wii, 0x18, 0x5D1C9EA3)
wii[0x20:0x30] = b"Fuzzed Wii disc\0"
open(out + "/wii.iso", "wb").write(wii)
PY
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("iso", data, size);
    return 0;
}
