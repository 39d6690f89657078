// The open entry on an MZP archive: header, records, chunk table, chunks and
// the MARFS tree inside are all fuzzed input.

/* seeds
python3 - "$1" <<'PY'
import struct, sys, zlib
def marfs(files):
    recs = b''
    data = b''
    first = 2
    for name, body in files:
        n = name.encode('utf-16-le')
        sector = first + len(data) // 2048 if body else 0
        recs += struct.pack('<HIIQBB12sH', 34 + len(n), sector, 0, len(body), 0, 0, bytes(12), len(n)) + n
        data += body + bytes(-len(body) % 2048)
    head = bytearray(2048)
    head[0:7] = b'MARFSVO'
    head[20:20 + 18] = struct.pack('<HIIQ', 35, 1, 0, 2048)
    return bytes(head) + recs + bytes(2048 - len(recs)) + data
def mzp(image, level_byte):
    chunk = 65536
    comp = zlib.compressobj(6, zlib.DEFLATED, -15)
    body = comp.compress(image) + comp.flush()
    stored = body + struct.pack('<I', zlib.crc32(body))
    entry = (len(stored) - 5) | (1 << 16)
    table = entry.to_bytes(3, 'little')
    hl = 77
    h = bytearray(77)
    h[0:3] = b'MZP'
    struct.pack_into('<III', h, 16, hl, 0x100, hl + len(table))
    struct.pack_into('<I', h, 29, 1)
    struct.pack_into('<I', h, 37, chunk // 16384)
    struct.pack_into('<QQB', h, 41, len(image), 77 + len(table) + len(stored), level_byte)
    h[62] = 1
    struct.pack_into('<I', h, 73, zlib.crc32(bytes(h[:73])))
    return bytes(h) + table + stored
img = marfs([('a.txt', b'hello\n' * 50), ('empty', b'')])
open(sys.argv[1] + '/one.mzp', 'wb').write(mzp(img, 0))
PY
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("mzp", data, size);
    return 0;
}
