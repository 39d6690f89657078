#!/usr/bin/env python3
"""Compressed images wrapped around a plain image, from the formats' public
layouts, for the chunk-image readers' tests (no Debian tool writes them):

  chunk_fixtures.py dmg SRC OUT KINDS CHUNK_SECTORS BLOCKS
      Apple disk image: "koly" trailer, XML property list, "mish" block tables.
      KINDS cycles over zlib, bzip2, raw, adc (all-zero chunks are zero runs).
  chunk_fixtures.py isz SRC OUT KINDS CHUNK_BYTES [pointers|nopointers] [SPLIT_BYTES STYLE]
      ISZ: masked tables; KINDS cycles over zlib, bzip2, isz (bzip2 with the
      "ISz" magic), stored; STYLE 0 (x.isz, x.i01), 1 (x.part01.isz), 2
      (x.part001.isz) or equal (equal parts without any table).
  chunk_fixtures.py uif SRC OUT KINDS CHUNK_BYTES UNIT
      UIF: "blhr" zlib block table and "bbis" trailer; KINDS cycles over the
      entry types 1, 2 (stored), 5, 7 (zlib); zero chunks are type 3.
"""
import base64
import bz2
import struct
import sys
import zlib


def chunks_of(data, size):
    return [data[i:i + size] for i in range(0, len(data), size)]


def adc_encode(data):
    # Literal runs, and runs of one repeated byte as copies from 1 byte back.
    out = bytearray()
    lit = bytearray()
    i = 0

    def flush():
        for j in range(0, len(lit), 128):
            part = lit[j:j + 128]
            out.append(0x80 | (len(part) - 1))
            out.extend(part)
        lit.clear()

    while i < len(data):
        run = 0
        if i > 0:
            while i + run < len(data) and run < 67 and data[i + run] == data[i - 1]:
                run += 1
        if run >= 4:
            flush()
            out.extend((0x40 | (run - 4), 0, 0))
            i += run
        else:
            lit.append(data[i])
            i += 1
    flush()
    return bytes(out)


def dmg(src, out, kinds, chunk_sectors, blocks):
    data = open(src, 'rb').read()
    data += b'\0' * (-len(data) % 512)
    kinds = kinds.split(',')
    codes = {'zlib': 0x80000005, 'bzip2': 0x80000006, 'raw': 1, 'adc': 0x80000004}
    total_sectors = len(data) // 512
    per_block = -(-total_sectors // blocks)
    body = bytearray()
    plist_items = []
    n = 0
    for b in range(blocks):
        first = b * per_block
        count = min(per_block, total_sectors - first)
        entries = []
        s = 0
        while s < count:
            k = min(chunk_sectors, count - s)
            piece = data[(first + s) * 512:(first + s + k) * 512]
            kind = kinds[n % len(kinds)]
            n += 1
            if piece.count(0) == len(piece):
                entries.append((2, s, k, len(body), 0))
            else:
                stored = {'zlib': lambda p: zlib.compress(p, 6), 'bzip2': lambda p: bz2.compress(p, 9),
                          'raw': lambda p: p, 'adc': adc_encode}[kind](piece)
                entries.append((codes[kind], s, k, len(body), len(stored)))
                body += stored
            s += k
        entries.append((0xFFFFFFFF, count, 0, len(body), 0))
        mish = bytearray(204)
        struct.pack_into('>4sIQQQII', mish, 0, b'mish', 1, first, count, 0, 0x208, 0)
        struct.pack_into('>I', mish, 200, len(entries))
        for t, sec, cnt, off, ln in entries:
            mish += struct.pack('>IIQQQQ', t, 0, sec, cnt, off, ln)
        text = base64.b64encode(bytes(mish)).decode()
        wrapped = '\n'.join('\t\t\t\t' + text[i:i + 52] for i in range(0, len(text), 52))
        plist_items.append(
            '\t\t\t<dict>\n\t\t\t\t<key>Attributes</key>\n\t\t\t\t<string>0x0050</string>\n'
            '\t\t\t\t<key>CFName</key>\n\t\t\t\t<string>part %d</string>\n'
            '\t\t\t\t<key>Data</key>\n\t\t\t\t<data>\n%s\n\t\t\t\t</data>\n'
            '\t\t\t\t<key>ID</key>\n\t\t\t\t<string>%d</string>\n'
            '\t\t\t\t<key>Name</key>\n\t\t\t\t<string>part %d</string>\n\t\t\t</dict>\n' % (b, wrapped, b - 1, b))
    plist = ('<?xml version="1.0" encoding="UTF-8"?>\n'
             '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" '
             '"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n'
             '<plist version="1.0">\n<dict>\n\t<key>resource-fork</key>\n\t<dict>\n'
             '\t\t<key>blkx</key>\n\t\t<array>\n' + ''.join(plist_items) +
             '\t\t</array>\n\t</dict>\n</dict>\n</plist>\n').encode()
    koly = bytearray(512)
    struct.pack_into('>4sIIIQQQQQII', koly, 0, b'koly', 4, 512, 1, 0, 0, len(body), 0, 0, 1, 1)
    struct.pack_into('>QQ', koly, 216, len(body), len(plist))
    struct.pack_into('>IQ', koly, 488, 1, total_sectors)
    with open(out, 'wb') as f:
        f.write(body + plist + koly)


MASK = bytes(~c & 0xFF for c in b'IsZ!')


def mask(b):
    return bytes(x ^ MASK[i % 4] for i, x in enumerate(b))


def isz_header(h):
    head = bytearray(48)
    head[0:4] = b'IsZ!'
    head[4] = 48
    head[5] = 1
    struct.pack_into('<I', head, 6, 1)
    struct.pack_into('<HI', head, 10, h['sector'], h['total'])
    head[16] = 0
    struct.pack_into('<QII', head, 17, h['segsize'], h['chunks'], h['chunksize'])
    head[33] = 3
    head[34] = h['segno']
    struct.pack_into('<III', head, 35, h['ptr'], h['seg'], h['data'])
    return bytes(head)


def isz(src, out, kinds, chunk_bytes, pointers=True, split=0, style='0'):
    data = open(src, 'rb').read()
    assert len(data) % 2048 == 0
    kinds = kinds.split(',')
    stored_chunks = []
    flags = []
    for n, piece in enumerate(chunks_of(data, chunk_bytes)):
        kind = kinds[n % len(kinds)] if pointers else 'stored'
        if pointers and piece.count(0) == len(piece):
            stored_chunks.append(b'')
            flags.append(0x00)
            continue
        if kind == 'zlib':
            stored_chunks.append(zlib.compress(piece, 6)); flags.append(0x80)
        elif kind == 'bzip2':
            stored_chunks.append(bz2.compress(piece, 9)); flags.append(0xC0)
        elif kind == 'isz':
            stored_chunks.append(b'ISz' + bz2.compress(piece, 9)[3:]); flags.append(0xC0)
        else:
            stored_chunks.append(piece); flags.append(0x40)
    n = len(stored_chunks)
    ptr = b''.join(struct.pack('<HB', len(c) & 0xFFFF, (len(c) >> 16) | f) for c, f in zip(stored_chunks, flags))
    stream = b''.join(stored_chunks)
    h = dict(sector=2048, total=len(data) // 2048, chunks=n, chunksize=chunk_bytes, segsize=0, segno=0,
             ptr=0, seg=0, data=0)
    if style == 'equal':
        # Equal parts, no tables: each later part is a header and its share.
        h['data'] = 48
        h['segsize'] = split
        whole = isz_header(h) + stream
        parts = [whole[:split]]
        rest = whole[split:]
        i = 1
        while rest:
            h2 = dict(h, segno=i)
            parts.append(isz_header(h2) + rest[:split - 48])
            rest = rest[split - 48:]
            i += 1
    elif split:
        # Segment table of as many records as parts (at most 8 reserved).
        seg_room = 24 * 8
        h['ptr'] = 48
        h['seg'] = 48 + len(ptr)
        h['data'] = h['seg'] + seg_room
        first_room = split - h['data']
        # Cut the stream into parts; record each part's first whole chunk.
        bounds = [0]
        while bounds[-1] + (first_room if len(bounds) == 1 else split - 48) < len(stream):
            bounds.append(bounds[-1] + (first_room if len(bounds) == 1 else split - 48))
        bounds.append(len(stream))
        starts = []
        pos = 0
        for c in stored_chunks:
            starts.append(pos)
            pos += len(c)
        firsts = []
        for p in range(len(bounds) - 1):
            lo, hi = bounds[p], bounds[p + 1]
            whole = [k for k, s in enumerate(starts) if lo <= s < hi and stored_chunks[k]]
            firsts.append((whole[0] if whole else n, starts[whole[0]] if whole else hi, len(whole)))
        records = []
        for p in range(len(bounds) - 1):
            lo, hi = bounds[p], bounds[p + 1]
            first_chunk, first_at, count = firsts[p]
            header = h['data'] if p == 0 else 48
            # Bytes of the chunk running over into the next part.
            left = firsts[p + 1][1] - hi if p + 2 < len(bounds) else 0
            records.append((header + (hi - lo), count or 1, first_chunk, header + (first_at - lo), left))
        assert len(records) <= 7
        seg = b''.join(struct.pack('<QIIII', *r) for r in records) + b'\0' * 24
        seg += b'\0' * (seg_room - len(seg))
        parts = []
        for p in range(len(bounds) - 1):
            hp = dict(h, segno=p)
            if p == 0:
                parts.append(isz_header(hp) + mask(ptr) + mask(seg) + stream[bounds[0]:bounds[1]])
            else:
                parts.append(isz_header(hp) + stream[bounds[p]:bounds[p + 1]])
    else:
        h['ptr'] = 48 if pointers else 0
        h['data'] = 48 + (len(ptr) if pointers else 0)
        parts = [isz_header(h) + (mask(ptr) if pointers else b'') + stream]
    names = [out]
    base = out
    for i in range(1, len(parts)):
        if style == '1':
            names.append(base[:-6] + '%02d' % (i + 1) + base[-4:])
        elif style == '2':
            names.append(base[:-7] + '%03d' % (i + 1) + base[-4:])
        else:
            names.append(base[:-2] + '%02d' % i)
    for name, part in zip(names, parts):
        open(name, 'wb').write(part)


def uif(src, out, kinds, chunk_bytes, unit):
    data = open(src, 'rb').read()
    kinds = [int(k) for k in kinds.split(',')]
    body = bytearray(b'\0' * 16)
    entries = bytearray()
    unit_pos = 0
    for n, piece in enumerate(chunks_of(data, chunk_bytes)):
        assert len(piece) % unit == 0
        units = len(piece) // unit
        t = kinds[n % len(kinds)]
        if piece.count(0) == len(piece):
            entries += struct.pack('<IIIIII', 0, 0, 0, unit_pos, units, 3)
        else:
            stored = zlib.compress(piece, 6) if t in (5, 7) else piece
            off = len(body)
            body += stored
            entries += struct.pack('<IIIIII', off & 0xFFFFFFFF, off >> 32, len(stored), unit_pos, units, t)
        unit_pos += units
    table_offset = len(body)
    packed = zlib.compress(bytes(entries), 9)
    body += struct.pack('<4sIII', b'blhr', len(packed) + 8, 1, len(entries) // 24) + packed
    trailer = bytearray(64)
    trailer[0:4] = b'bbis'
    struct.pack_into('<I', trailer, 20, unit)
    struct.pack_into('<Q', trailer, 28, table_offset)
    open(out, 'wb').write(bytes(body) + bytes(trailer))


if __name__ == '__main__':
    a = sys.argv
    if a[1] == 'dmg':
        dmg(a[2], a[3], a[4], int(a[5]), int(a[6]))
    elif a[1] == 'isz':
        isz(a[2], a[3], a[4], int(a[5]), a[6] != 'nopointers' if len(a) > 6 else True,
            int(a[7]) if len(a) > 7 else 0, a[8] if len(a) > 8 else '0')
    elif a[1] == 'uif':
        uif(a[2], a[3], a[4], int(a[5]), int(a[6]))
