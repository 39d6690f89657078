// The open entry on an .nrg image: footer, chunks, tracks and the ISO
// 9660/Joliet tree of its data track.

/* seeds
# No tool writes NRG: images in the published layouts, as the reader's tests
# build them (footer "NERO" with 32-bit and "NER5" with 64-bit offsets;
# DAOI/DAOX with CUES/CUEX for disc-at-once, ETNF/ETN2 for track-at-once).
cat > nrg.py <<'PY'
import struct
def bcd(n): return (n // 10) * 16 + n % 10
def chunk(cid, data): return cid + struct.pack('>I', len(data)) + data
def nrg(v2, dao, tracks):
    # tracks: (mode, size, data): mode 0 Mode 1, 3 Mode 2 (2336), 7 audio
    body = bytearray(); placed = []; lba = 0
    for i, (mode, size, data) in enumerate(tracks):
        i0 = len(body)
        if dao and i == 0: body += bytes(150 * size)
        i1 = len(body); body += data; end = len(body)
        placed.append((i0, i1, end, lba)); lba += (end - i1) // size
    def addr(s):
        if v2: return struct.pack('>i', s)
        m = s + 150
        return bytes([0, bcd(m // 4500), bcd(m // 75 % 60), bcd(m % 75)])
    chunks = b''
    if dao:
        ctl = lambda mode: 0x01 if mode == 7 else 0x41
        cue = bytes([ctl(tracks[0][0]), 0, 0, 0]) + addr(-150)
        for i, (mode, size, data) in enumerate(tracks):
            cue += bytes([ctl(mode), bcd(i + 1), 0, 0]) + addr(-150 if i == 0 else placed[i][3])
            cue += bytes([ctl(mode), bcd(i + 1), 1, 0]) + addr(placed[i][3])
        cue += bytes([1, 0xAA, 1, 0]) + addr(lba)
        chunks += chunk(b'CUEX' if v2 else b'CUES', cue)
        head = bytearray(18); head[15] = 0 if tracks[0][0] == 7 else 1; head[16] = 1; head[17] = len(tracks)
        for i, (mode, size, data) in enumerate(tracks):
            e = bytes(12) + struct.pack('>H', size) + bytes([mode, 0, mode, 1])
            fmt = '>QQQ' if v2 else '>III'
            e += struct.pack(fmt, *placed[i][:3]); head += e
        chunks += chunk(b'DAOX' if v2 else b'DAOI', struct.pack('>I', len(head) + 4) + bytes(head))
    else:
        etn = b''
        for i, (mode, size, data) in enumerate(tracks):
            i0, i1, end, _ = placed[i]
            if v2: etn += struct.pack('>QQIIQ', i1, end - i1, mode, i1 // size, 0)
            else: etn += struct.pack('>IIIII', i1, end - i1, mode, i1 // size, 0)
        chunks += chunk(b'ETN2' if v2 else b'ETNF', etn)
    chunks += chunk(b'SINF', struct.pack('>I', len(tracks))) + chunk(b'MTYP', struct.pack('>I', 1)) + b'END!' + bytes(4)
    out = bytes(body) + chunks
    if v2: return out + b'NER5' + struct.pack('>Q', len(body))
    return out + bytes(4) + b'NERO' + struct.pack('>I', len(body))
PY
mkdir src && echo hello > src/a.txt && touch -d @1700000000 src/a.txt
genisoimage -quiet -no-pad -J -V NRG -o iso src
sox -n -r 44100 -c 2 -b 16 -e signed -t raw audio synth 40s sine 440 trim 0 23520s
python3 - "$1" <<'PY'
import sys
sys.path.insert(0, '.')
from nrg import nrg
iso, audio = open('iso', 'rb').read(), open('audio', 'rb').read()
m2 = b''.join(bytes([0, 0, 8, 0, 0, 0, 8, 0]) + iso[i:i + 2048] + bytes(280) for i in range(0, len(iso), 2048))
open(sys.argv[1] + '/tao-v2.nrg', 'wb').write(nrg(True, False, [(0, 2048, iso)]))
open(sys.argv[1] + '/tao-v1.nrg', 'wb').write(nrg(False, False, [(0, 2048, iso)]))
open(sys.argv[1] + '/dao-v2-mixed.nrg', 'wb').write(nrg(True, True, [(0, 2048, iso), (7, 2352, audio)]))
open(sys.argv[1] + '/dao-v1-mode2.nrg', 'wb').write(nrg(False, True, [(3, 2336, m2)]))
open(sys.argv[1] + '/dao-v1-audio.nrg', 'wb').write(nrg(False, True, [(7, 2352, audio), (7, 2352, audio)]))
PY
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("nrg", data, size);
    return 0;
}
