// The deflate-variant decoder. The first byte picks the variant and the
// output room; the rest is the stream. In variant 0 the result must equal
// zlib's raw inflate.

/* seeds
# Raw deflate streams from zlib (stored, fixed and dynamic blocks), each
# behind a first byte of 0x40: variant 0, 16 KiB of room.
python3 - "$1" <<'PY'
import os, sys, zlib
texts = {
    'empty': b'',
    'short': b'hello, hello, hello',
    'text': b''.join(b'line %d of a text that repeats itself\n' % i for i in range(200)),
    'random': os.urandom(3000),
}
for name, data in texts.items():
    for level in (0, 1, 9):
        c = zlib.compressobj(level, zlib.DEFLATED, -15)
        stream = c.compress(data) + c.flush()
        open('%s/%s-%d' % (sys.argv[1], name, level), 'wb').write(b'\x40' + stream)
PY
*/

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/deflate_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int32_t variant = data[0] & 3;
    const size_t room = 1 + (size_t{data[0]} >> 2) * 1024;
    auto decoder = std::make_unique<codecs::DeflateDecoder>();
    decoder->variant = variant;
    std::vector<uint8_t> out(room);
    std::vector<uint8_t> in(data + 1, data + size);
    const int64_t got = codecs::DeflateDecompressSized(*decoder, in.data(), out.data(), in.size(),
                                                           static_cast<int64_t>(room));
    if (got < -1 || got > static_cast<int64_t>(room)) std::abort();
    if (variant != 0) return 0;

    std::vector<uint8_t> zout(room + 1);
    z_stream s{};
    inflateInit2(&s, -15);
    s.next_in = in.data();
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = zout.data();
    s.avail_out = static_cast<uInt>(zout.size());
    const int status = inflate(&s, Z_FINISH);
    const bool zlibOk = status == Z_STREAM_END && s.total_out <= room;
    if (zlibOk != (got >= 0)) std::abort();
    if (zlibOk && (static_cast<int64_t>(s.total_out) != got || s.total_in != decoder->inputPosition ||
                   std::memcmp(zout.data(), out.data(), s.total_out) != 0))
        std::abort();
    inflateEnd(&s);
    return 0;
}
