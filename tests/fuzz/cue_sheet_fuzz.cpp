// The CUE sheet parser on its own, with the files its seeds name beside the
// sheet: a data file, raw CD audio, a WAVE file and a CD-TEXT file.

/* seeds
head -c 98000 /dev/urandom > "$2/data.bin"
sox -n -r 44100 -c 2 -b 16 -e signed -t raw "$2/audio.bin" synth 10s sine 440 trim 0 23520s
sox -n -r 44100 -c 2 -b 16 -e signed "$2/tone.wav" synth 10s sine 660 trim 0 23520s
python3 - "$2/disc.cdt" <<'PY'
import binascii, struct, sys
body = bytes([0x80, 0, 0, 0]) + b'Disc title\0\0'
pack = body + struct.pack('>H', binascii.crc_hqx(body, 0) ^ 0xFFFF)
open(sys.argv[1], 'wb').write(struct.pack('>H', len(pack) + 2) + b'\0\0' + pack)
PY
cat > "$1/mixed.cue" <<'CUE'
CATALOG 1234567890123
CDTEXTFILE "disc.cdt"
PERFORMER "Someone"
FILE "data.bin" BINARY
  TRACK 01 MODE1/2352
    INDEX 01 00:00:00
    POSTGAP 00:02:00
FILE "Audio.BIN" BINARY
  TRACK 02 AUDIO
    FLAGS DCP 4CH PRE SCMS
    ISRC US-AB1-99-12345
    SONGWRITER "Writer"
    PREGAP 00:02:00
    INDEX 00 00:00:00
    INDEX 01 00:00:20
    INDEX 02 00:01:00
  TRACK 03 AUDIO
    INDEX 01 00:02:00
FILE "tone.wav" WAVE
  TRACK 04 AUDIO
    TITLE "Tone"
    INDEX 01 00:00:00
REM SESSION 02
CUE
printf 'FILE "data.bin" BINARY\r\n  TRACK 01 MODE2/2336\r\n    INDEX 01 00:00:00\r\n  TRACK 02 MODE2/2352\r\n    INDEX 01 00:00:10\r\n' > "$1/mode2.cue"
printf 'FILE "data.bin" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n' > "$1/iso.cue"
*/

#include <string>

#include "image/sheets/cue_parser.h"
#include "platform/text.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string path = platform::Utf8ToUtf16(qvfuzz::WriteInput("input.cue", data, size));
    image::SheetDiagnostics diagnostics;
    image::TrackListPtr list = image::ParseCueSheet(path, &diagnostics);
    if (list) image::GetTrackListEndSector(list.get());
    return 0;
}
