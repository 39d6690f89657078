// Language files (.lng). A mutated body almost never keeps its checksum, so
// each input is parsed as it is and once more with the checksum made right.

/* seeds
# No tool writes .lng files: the header, the fixed records, string and owner
# tables as the file's layout gives them, the checksum from zlib's crc32.
python3 - "$1" <<'PY'
import struct, sys, zlib
def s(text, term=True): return text.encode('utf-16-le') + (b'\0\0' if term else b'')
def lang(body, count):
    return b'LANG' + struct.pack('<HBII', 15, 2, count, (zlib.crc32(body) + 1) & 0xFFFFFFFF) + body
fixed = (b'\x11' + struct.pack('<H', 0x0409) + b'\x12' + s('English') + b'\x13' + s('Tahoma') +
         b'\x14' + struct.pack('<I', 9) + b'\x15' + s('English'))
strings = [(101, 'Open'), (102, 'Please select a valid disc image file.'), (103, '%s\r\n\r\n%s')]
table = bytes([0x20 | (len(strings) >> 8), len(strings) & 0xFF]) + b''.join(struct.pack('<H', i) + s(t) for i, t in strings)
items = [(1, None, '&File'), (0xFFFF, 'key', 'Keyed'), (2, None, 'E&xit')]
owner = bytes([0x40, len(items)]) + struct.pack('<H', 128) + b''.join(
    struct.pack('<H', i) + (s(k) if k else b'') + s(t) for i, k, t in items)
open(sys.argv[1] + '/english.lng', 'wb').write(lang(fixed + table + owner, len(strings) + len(items)))
open(sys.argv[1] + '/strings.lng', 'wb').write(lang(fixed + table, len(strings)))
open(sys.argv[1] + '/fixed.lng', 'wb').write(lang(fixed, 0))
PY
*/

#include <cstdint>
#include <span>
#include <vector>

#include "foundation/language_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    (void)foundation::ParseLangFile(bytes);
    constexpr size_t kHeader = 15, kChecksum = 11;
    if (size < kHeader) return 0;
    std::vector<uint8_t> fixed(data, data + size);
    const uint32_t sum = foundation::LangBodyChecksum(bytes.subspan(kHeader));
    for (size_t i = 0; i < 4; ++i) fixed[kChecksum + i] = uint8_t(sum >> (8 * i));
    (void)foundation::ParseLangFile(fixed);
    return 0;
}
