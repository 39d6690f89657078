// The open entry on an .mds descriptor, with the image file it names beside
// it: the descriptor is the fuzzed input.

/* seeds
mkdir src && echo hello > src/a.txt && touch -d @1700000000 src/a.txt
genisoimage -quiet -no-pad -J -V MDS -o "$2/input.mdf" src
# No tool writes MDS: descriptors from the published layout (header, one
# session block at 0x58, 80-byte track blocks after the lead-in entries
# A0..A2, 8-byte extra blocks, the file-name record), as the parser's tests
# build them.
cat > mds.py <<'PY'
import struct, sys
def mds(tracks, name=b'*.mdf'):
    blocks = 3 + len(tracks)
    extra = 0x70 + blocks * 80
    record = extra + len(tracks) * 8
    b = bytearray(record + 16 + len(name) + 1)
    b[0:16] = b'MEDIA DESCRIPTOR'
    b[0x10], b[0x11] = 1, 3
    struct.pack_into('<H', b, 0x14, 1)
    struct.pack_into('<I', b, 0x50, 0x58)
    struct.pack_into('<i', b, 0x58, -150)
    struct.pack_into('<HBBHH', b, 0x58 + 8, 1, blocks, 3, 1, len(tracks))
    struct.pack_into('<I', b, 0x58 + 0x14, 0x70)
    for i in range(3):
        b[0x70 + i * 80 + 4] = 0xA0 + i
    for i, (mode, size, start, pregap, length) in enumerate(tracks):
        at = 0x70 + (3 + i) * 80
        b[at], b[at + 2], b[at + 4] = mode, 0x10 if mode == 0xA9 else 0x14, i + 1
        msf = start + 150
        b[at + 9:at + 12] = bytes([msf // 4500, msf // 75 % 60, msf % 75])
        struct.pack_into('<IH', b, at + 12, extra + i * 8, size)
        struct.pack_into('<I', b, at + 0x24, start)
        struct.pack_into('<II', b, at + 0x30, 1, record)
        struct.pack_into('<II', b, extra + i * 8, pregap, length)
    struct.pack_into('<I', b, record, record + 16)
    b[record + 16:record + 16 + len(name)] = name
    return bytes(b)
PY
python3 - "$1" "$2/input.mdf" <<'PY'
import os, sys
sys.path.insert(0, '.')
from mds import mds
sectors = os.path.getsize(sys.argv[2]) // 2048
open(sys.argv[1] + '/one-track.mds', 'wb').write(mds([(0xAA, 2048, 0, 150, sectors)]))
open(sys.argv[1] + '/no-extra.mds', 'wb').write(mds([(0xAA, 2048, 0, 0, 0)]))
open(sys.argv[1] + '/named.mds', 'wb').write(mds([(0xAA, 2048, 0, 150, sectors)], b'INPUT.MDF'))
PY
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("mds", data, size);
    return 0;
}
