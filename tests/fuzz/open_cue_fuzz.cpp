// The open entry on a .cue sheet, with its data files beside it: a data track
// of an ISO, raw CD audio and a WAVE file. The sheet is the fuzzed input.

/* seeds
mkdir src && echo hello > src/a.txt && touch -d @1700000000 src/a.txt
genisoimage -quiet -no-pad -J -V CUE -o "$2/data.bin" src
# 40 sectors of CD audio, raw and as WAVE.
sox -n -r 44100 -c 2 -b 16 -e signed -t raw "$2/audio.bin" synth 40s sine 440 trim 0 94080s
sox -n -r 44100 -c 2 -b 16 -e signed "$2/tone.wav" synth 40s sine 660 trim 0 94080s
cat > "$1/data.cue" <<'CUE'
FILE "data.bin" BINARY
  TRACK 01 MODE1/2048
    INDEX 01 00:00:00
CUE
cat > "$1/mixed.cue" <<'CUE'
CATALOG 1234567890123
PERFORMER "Someone"
TITLE "A disc"
FILE "data.bin" BINARY
  TRACK 01 MODE1/2048
    INDEX 01 00:00:00
    POSTGAP 00:02:00
FILE "audio.bin" BINARY
  TRACK 02 AUDIO
    FLAGS DCP PRE
    ISRC USABC9912345
    TITLE "Sine"
    PREGAP 00:02:00
    INDEX 01 00:00:00
    INDEX 02 00:00:20
FILE "tone.wav" WAVE
  TRACK 03 AUDIO
    INDEX 00 00:00:00
    INDEX 01 00:00:10
REM SESSION 02
CUE
cat > "$1/audio.cue" <<'CUE'
FILE "audio.bin" BINARY
  TRACK 01 AUDIO
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    INDEX 00 00:00:10
    INDEX 01 00:00:12
CUE
*/

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::OpenThroughOpenEntry("cue", data, size);
    return 0;
}
