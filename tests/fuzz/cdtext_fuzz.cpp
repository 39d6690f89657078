// CD-TEXT files and pack blocks, applied to a track list. A mutated pack
// almost never keeps its CRC, so each input is read as it is and once more
// with every pack's CRC made right.

/* seeds
# No Debian tool writes a CD-TEXT file without a drive: packs from the
# published layout (type, track, sequence, character position, 12 text
# bytes, CRC-16/XMODEM inverted), the CRC from Python's binascii, behind the
# 4-byte file header.
python3 - "$1" <<'PY'
import binascii, struct, sys
def packs(entries):
    out = b''; seq = 0
    for ptype, track, text in entries:
        data = text.encode('latin-1') + b'\0'
        pos = 0
        for at in range(0, len(data), 12):
            body = bytes([ptype, track, seq, min(pos, 15)]) + data[at:at + 12].ljust(12, b'\0')
            crc = binascii.crc_hqx(body, 0) ^ 0xFFFF
            out += body + struct.pack('>H', crc); seq += 1; pos += 12
    return out
def file(p): return struct.pack('>H', len(p) + 2) + b'\0\0' + p
album = [(0x80, 0, 'Joyful Nights'), (0x80, 1, 'Song of Joy'), (0x80, 2, 'Humpty Dumpty \xe9t\xe9'),
         (0x81, 0, 'United Cat Orchestra'), (0x81, 1, 'Felix and The Purrs'), (0x81, 2, 'United Cat Orchestra')]
open(sys.argv[1] + '/album.cdt', 'wb').write(file(packs(album)))
open(sys.argv[1] + '/title.cdt', 'wb').write(file(packs([(0x80, 0, 'A')])))
open(sys.argv[1] + '/long.cdt', 'wb').write(file(packs([(0x80, 1, 'x' * 150), (0x82, 1, 'Songwriter'),
                                                       (0x8E, 1, 'USABC9912345')])))
PY
*/

#include <cstdint>
#include <span>
#include <vector>

#include "image/sheets/cdtext.h"
#include "image/sheets/track_list.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void ReadAndApply(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> block;
    if (image::ParseCdTextBytes(bytes, block) != 1) return;
    image::TrackListPtr list = image::NewTrackList();
    list->trackCount = 3;
    list->firstTrackNumber = 1;
    for (int32_t i = 0; i < 3; ++i) {
        list->tracks[i].mode = image::track_mode::kAudio;
        list->tracks[i].startSector = i * 1000;
        list->tracks[i].length = 1000;
    }
    image::ApplyCdTextFile(list.get(), block);
    image::UpdateTrackListCdTextAnsi(list.get());
    (void)image::BuildCdTextPacks(*list);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReadAndApply(std::span<const uint8_t>(data, size));
    // Packs of 18 bytes, behind the 4-byte header when there is one, each
    // with its CRC made right.
    constexpr size_t kPack = 18;
    std::vector<uint8_t> fixed(data, data + size);
    for (size_t at = size % kPack == 4 ? 4 : 0; at + kPack <= fixed.size(); at += kPack) {
        const uint16_t crc = uint16_t(~image::CdTextCrc(0, fixed.data() + at, 16));
        fixed[at + 16] = uint8_t(crc >> 8);
        fixed[at + 17] = uint8_t(crc);
    }
    ReadAndApply(fixed);
    return 0;
}
