// The open entry on an XDI image: header, comment, block table and blocks
// are fuzzed input; the ISO image inside comes from genisoimage.

/* seeds
mkdir -p src && echo hello > src/a.txt && touch -d @1700000000 src/a.txt
genisoimage -quiet -J -R -o img.iso src
python3 - "$1" img.iso <<'PY'
import struct, sys, zlib
image = open(sys.argv[2], 'rb').read()
block = 65536
blocks = [image[i:i + block] for i in range(0, len(image), block)]
stored, entries = [], 0
for i, b in enumerate(blocks):
    c = zlib.compressobj(6, zlib.DEFLATED, -15)
    body = c.compress(b) + c.flush()
    s = body + struct.pack('<I', zlib.crc32(body))
    stored.append(s)
    entries |= ((len(s) - 5) | (1 << 16)) << (17 * i)
table = entries.to_bytes((17 * len(blocks) + 7) // 8, 'little')
h = bytearray(65)
h[0:4] = b'XDI\0'
struct.pack_into('<I', h, 4, 65)
struct.pack_into('<III', h, 12, 1, 0, 65 + len(table))
struct.pack_into('<I', h, 25, block // 16384)
total = 65 + len(table) + sum(len(s) for s in stored)
struct.pack_into('<QQBB', h, 37, len(image), total, 0, 1)
struct.pack_into('<I', h, 8, zlib.crc32(bytes(h)))
open(sys.argv[1] + '/one.xdi', 'wb').write(bytes(h) + table + b''.join(stored))
PY
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("xdi", data, size);
    return 0;
}
