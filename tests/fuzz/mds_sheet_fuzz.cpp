// The MDS descriptor parser on its own, from bytes: track blocks, extra
// blocks and the image name.

/* seeds
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
python3 - "$1" <<'PY'
import sys
sys.path.insert(0, '.')
from mds import mds
open(sys.argv[1] + '/data.mds', 'wb').write(mds([(0xAA, 2352, 0, 150, 300)]))
open(sys.argv[1] + '/audio.mds', 'wb').write(mds([(0xA9, 2352, 0, 150, 750), (0xA9, 2352, 750, 0, 600),
                                                   (0xAA, 2448, 1350, 150, 300)]))
open(sys.argv[1] + '/mode2.mds', 'wb').write(mds([(0xAC, 2336, 0, 150, 100), (0xAD, 2352, 100, 0, 0)]))
PY
*/

#include <span>
#include <string>

#include "image/sheets/mds_parser.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::u16string path = u"/nonexistent/qvfuzz/input.mds";
    image::TrackListPtr list = image::ParseMdsBytes(path, std::span<const uint8_t>(data, size));
    if (list) image::GetTrackListEndSector(list.get());
    return 0;
}
