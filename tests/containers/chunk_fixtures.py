#!/usr/bin/env python3
"""Compressed images wrapped around a plain image, from the formats' public
layouts, for the chunk-image readers' tests (no Debian tool writes them):

  chunk_fixtures.py dmg SRC OUT KINDS CHUNK_SECTORS BLOCKS
      Apple disk image: "koly" trailer, XML property list, "mish" block tables.
      KINDS cycles over zlib, bzip2, raw, adc (all-zero chunks are zero runs).
  chunk_fixtures.py isz SRC OUT KINDS CHUNK_BYTES [pointers|nopointers] [SPLIT_BYTES STYLE]
      ISZ: masked tables; KINDS cycles over zlib, bzip2, isz (bzip2 with the
      "ISz" magic), stored; STYLE 0 (x.isz, x.i01), 1 (x.part01.isz), 2
      (x.part001.isz) or equal (equal parts without any table). With
      ISZ_AES_KEY (16, 24 or 32 key bytes in hex) in the environment the
      chunks are AES-encrypted by openssl.
  chunk_fixtures.py uif SRC OUT KINDS CHUNK_BYTES UNIT
      UIF: "blhr" zlib block table and "bbis" trailer; KINDS cycles over the
      entry types 1, 2 (stored), 5, 7 (zlib); zero chunks are type 3.
  chunk_fixtures.py daa SRC OUT [key=value ...]
      DAA/HXI: header, descriptor records, chunk table and chunks with their
      CRC-32. Keys: format (0x100, 0x110), chunk (bytes), kinds (lzma,
      deflate, stored), t (type bits), v (length-width value), mask, atend,
      compressed (table), shared (LZMA header in the image header), hxi,
      volume (bytes per volume file), style (0, 1, 2), comment (text),
      password (reserve the check record; the chunk positions and the
      record's are written to OUT.layout for the test to scramble them).
"""
import base64
import bz2
import os
import struct
import subprocess
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
    key = os.environ.get('ISZ_AES_KEY', '')
    head[0:4] = b'IsZ!'
    head[4] = 48
    head[5] = 1
    struct.pack_into('<I', head, 6, 1)
    struct.pack_into('<HI', head, 10, h['sector'], h['total'])
    head[16] = {0: 0, 32: 1, 48: 3, 64: 4}[len(key)]
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
    key = os.environ.get('ISZ_AES_KEY', '')
    if key:
        # Each chunk's whole 16-byte blocks enciphered by openssl, the tail kept.
        for i, c in enumerate(stored_chunks):
            whole = len(c) // 16 * 16
            if whole:
                enc = subprocess.run(['openssl', 'enc', '-aes-%d-ecb' % (len(key) * 4), '-nopad', '-K', key],
                                     input=c[:whole], stdout=subprocess.PIPE, check=True).stdout
                stored_chunks[i] = enc + c[whole:]
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


DAA_MASK = bytes.fromhex('C7149E520BA83F61')
HXI_MASK = bytes.fromhex('3A91C4075EB26D')


def lzma86(piece):
    import lzma
    lc, lp, pb, dict_size = 3, 0, 2, 1 << 20
    raw = lzma.compress(piece, format=lzma.FORMAT_RAW, filters=[
        {'id': lzma.FILTER_X86}, {'id': lzma.FILTER_LZMA1, 'dict_size': dict_size, 'lc': lc, 'lp': lp, 'pb': pb}])
    return bytes([1, (pb * 5 + lp) * 9 + lc]) + struct.pack('<IQ', dict_size, len(piece)) + raw


def chain(data):
    out = struct.pack('<I', len(data))
    for i in range(0, len(data), 65536):
        z = zlib.compressobj(6, zlib.DEFLATED, -15)
        c = z.compress(data[i:i + 65536]) + z.flush()
        out += struct.pack('<I', len(c)) + c
    return out + struct.pack('<I', 0)


def daa(src, out, opts):
    data = open(src, 'rb').read()
    fmt = int(opts.get('format', '0x110'), 0)
    chunk = int(opts.get('chunk', '65536'))
    kinds = opts.get('kinds', 'deflate').split(',')
    t = int(opts.get('t', '1'))
    v = int(opts.get('v', '0'))
    hxi = opts.get('hxi') == '1'
    mask_on = opts.get('mask') == '1'
    atend = opts.get('atend') == '1'
    compressed = opts.get('compressed') == '1'
    shared = opts.get('shared') == '1'
    style = int(opts.get('style', '2'))
    volume = int(opts.get('volume', '0'))
    password = opts.get('password') == '1'
    comment = opts.get('comment', '').encode()
    if fmt == 0x100:
        chunk = 65536
    head6 = None
    stored_chunks, types = [], []
    for n, piece in enumerate(chunks_of(data, chunk)):
        kind = kinds[n % len(kinds)] if fmt == 0x110 else 'deflate'
        if kind == 'lzma':
            payload = lzma86(piece)
            if shared:
                head6 = payload[:6]
                payload = payload[14:]
            ctype = 0
        else:
            z = zlib.compressobj(6, zlib.DEFLATED, -15)
            payload = z.compress(piece) + z.flush()
            ctype = 1
        if fmt == 0x110 and (kind == 'stored' or len(payload) >= len(piece)):
            payload = piece
        stored_chunks.append(payload + struct.pack('<I', zlib.crc32(payload)))
        types.append(ctype)
    n = len(stored_chunks)
    # The table.
    if fmt == 0x100:
        table = b''.join(bytes([(len(c) >> 16) & 0x7F, len(c) & 0xFF, (len(c) >> 8) & 0xFF]) for c in stored_chunks)
        L = 0
    else:
        L = v + 10 if v else (chunk - 1).bit_length()
        bitlist = 0
        pos = 0
        for i, c in enumerate(stored_chunks):
            for value, width in [(len(c) - 5, L), (types[i], t)]:
                if width == 0:
                    continue
                if mask_on:
                    k = (HXI_MASK[i % 7] if hxi else DAA_MASK[i % 8]) ^ (i & 0xFF)
                    value = (value ^ (k * 0x01010101 + (0x11 if hxi else 0))) & ((1 << width) - 1)
                bitlist |= value << pos
                pos += width
        table = bitlist.to_bytes((pos + 7) // 8, 'little')
    table_bytes = len(table)
    header_crc_placeholder = 0
    flags = 0
    if fmt == 0x110:
        flags |= (0x4000 if compressed else 0) | (0x20000 if mask_on else 0) | (0x100000 if shared else 0)
        if hxi:
            flags |= (1 << 23)   # variant 0 stored with its lowest bit inverted
    # Records.
    slots = {0: 99, 1: 512, 2: 101}[style]
    records = b''
    if comment:
        c = chain(comment)
        records += struct.pack('<III', 4, 12 + len(c), 0) + c
    pw_at = None
    if password:
        pw_at = 76 + len(records)
        records += struct.pack('<II', 3, 144) + b'\0' * 136
    vol_at = None
    if volume:
        vol_at = 76 + len(records)
        records += struct.pack('<II', 1, 60) + b'\0' * 52
        records += struct.pack('<IIII', 2, 16 + 5 * slots, 0, 1) + b'\0' * (5 * slots)
    table_offset = 76 + len(records)
    stored_table = table
    if compressed:
        z = zlib.compressobj(6, zlib.DEFLATED, -15)
        stored_table = z.compress(table) + z.flush()
    if hxi and not compressed:
        pass   # transformed once the header CRC is known
    data_offset = table_offset + (0 if atend else len(stored_table))
    body = b''.join(stored_chunks)
    joint_len = data_offset + len(body) + (len(stored_table) if atend else 0)

    def header(total, crc_out=None):
        h = bytearray(76)
        h[0:4] = b'HXI\0' if hxi else b'DAA\0'
        off = data_offset | ((1 << 31) if atend else 0)
        size_field = (chunk >> 14) | flags if fmt == 0x110 else chunk
        struct.pack_into('<IIIII', h, 16, table_offset, fmt, off, 1, 0)
        struct.pack_into('<IQQB', h, 36, size_field, len(data), total, int(opts.get('level', '1')))
        struct.pack_into('<I', h, 57, len(stored_table) if compressed else 0)
        h[61] = (v << 3) | t if fmt == 0x110 else 0
        if head6:
            h[62:68] = head6
        struct.pack_into('<I', h, 72, zlib.crc32(bytes(h[:72])))
        return bytes(h)

    total = joint_len
    h = header(total)
    crc = struct.unpack_from('<I', h, 72)[0]
    if hxi and not compressed:
        low, shift = crc & 0xFF, (table_bytes >> 2) & 0xFF
        stored_table = bytes(((b ^ shift) + low) & 0xFF for b in stored_table)
    if hxi and compressed:
        lowc = (~len(stored_table)) & 0xFF
        stored_table = bytes(((b ^ lowc) + 7 * i) & 0xFF for i, b in enumerate(stored_table))
    joint = bytearray(h + records + (b'' if atend else stored_table) + body + (stored_table if atend else b''))
    chunk_at = []
    pos = data_offset
    for c in stored_chunks:
        chunk_at.append((pos, len(c)))
        pos += len(c)
    # Volumes.
    files = []
    if volume:
        share0 = volume
        shares = [joint[:share0]]
        rest = joint[share0:]
        while rest:
            shares.append(rest[:volume - 100])
            rest = rest[volume - 100:]
        count = len(shares)
        sizes = [len(shares[0])] + [len(s) + 100 for s in shares[1:]]
        struct.pack_into('<II', joint, vol_at + 8, count, 0)
        struct.pack_into('<QQB', joint, vol_at + 32, 0, sizes[0], style)
        r2 = vol_at + 60
        struct.pack_into('<II', joint, r2 + 8, count, 1)
        for i, sz in enumerate(sizes):
            struct.pack_into('<IB', joint, r2 + 16 + 5 * i, sz & 0xFFFFFFFF, sz >> 32)
        shares[0] = joint[:share0]
        files.append(bytes(shares[0]))
        start = sizes[0]
        for i in range(1, count):
            vh = bytearray(40)
            vh[0:8] = b'HXI VOL\0' if hxi else b'DAA VOL\0'
            struct.pack_into('<I', vh, 16, 100)
            struct.pack_into('<I', vh, 36, zlib.crc32(bytes(vh[:36])))
            vr = bytearray(60)
            struct.pack_into('<IIII', vr, 0, 1, 60, count, i)
            struct.pack_into('<QQB', vr, 32, start, sizes[i], style)
            files.append(bytes(vh + vr) + bytes(shares[i]))
            start += sizes[i] - 100
    else:
        files.append(bytes(joint))
    names = [out]
    base = out
    for i in range(1, len(files)):
        if style == 2:
            names.append(base[:-2] + '%02d' % (i - 1))
        elif style == 0:
            names.append(base[:-6] + '%02d' % (i + 1) + base[-4:])
        else:
            names.append(base[:-7] + '%03d' % (i + 1) + base[-4:])
    for name, f in zip(names, files):
        open(name, 'wb').write(f)
    if password:
        with open(out + '.layout', 'w') as f:
            f.write('%d\n' % pw_at)
            for at, ln in chunk_at:
                f.write('%d %d\n' % (at, ln))


def daacheck(path, out, later=()):
    """An independent reading of a DAA image (format 0x110 with a plain or
    trailing uncompressed table, or 0x100): every chunk's CRC by zlib, deflate
    chunks by zlib, LZMA chunks by 7z's lzma86 reader after their 14-byte
    header is rebuilt. The image may sit behind a stub (an end record gives
    its header) and run on through later volumes (each checked: its 40-byte
    header, its volume record, its size in volume 0's list). Writes the
    image's bytes to OUT."""
    import os
    import subprocess
    import tempfile
    f = open(path, 'rb').read()
    h = 0
    end_record = len(f) > 65536 and struct.unpack_from('<II', f, len(f) - 28) == (5, 28)
    if end_record:
        h = struct.unpack_from('<I', f, len(f) - 24 + 16)[0]
        f = f[:-28]
    vols = [open(v, 'rb').read() for v in later]
    if vols:
        sizes = None
        at = h + 76
        while at < h + struct.unpack_from('<I', f, h + 16)[0]:
            kind, size = struct.unpack_from('<II', f, at)
            if kind == 2:
                count, one = struct.unpack_from('<II', f, at + 8)
                assert count == len(vols) + 1 and one == 1
                sizes = [struct.unpack_from('<I', f, at + 16 + 5 * i)[0] | f[at + 20 + 5 * i] << 32
                         for i in range(count)]
            at += size
        assert sizes is not None, 'no volume sizes'
        assert sizes[0] == len(f) + (28 if end_record else 0)
        for i, v in enumerate(vols, 1):
            assert v[:8] == b'DAA VOL\0' and zlib.crc32(v[:36]) == struct.unpack_from('<I', v, 36)[0]
            assert struct.unpack_from('<I', v, 16)[0] == 100
            assert struct.unpack_from('<IIII', v, 40) == (1, 60, len(vols) + 1, i)
            assert sizes[i] == len(v)
            f += v[100:]
    f = f[h:]
    assert f[:4] == b'DAA\0'
    assert zlib.crc32(f[:72]) == struct.unpack_from('<I', f, 72)[0]
    table_off, fmt, off_field, one = struct.unpack_from('<IIII', f, 16)
    size_field = struct.unpack_from('<I', f, 36)[0]
    image_size, total = struct.unpack_from('<QQ', f, 40)
    total -= h
    assert one == 1
    data_off = off_field & 0xFFFFFF
    if fmt == 0x100:
        chunk = size_field
    else:
        chunk = (size_field & 0xFFF) << 14
    n = -(-image_size // chunk)
    if fmt == 0x100:
        table = f[table_off:table_off + 3 * n]
        lengths = [((table[3 * i] & 0x7F) << 16) | table[3 * i + 1] | (table[3 * i + 2] << 8) for i in range(n)]
        types = [1] * n
    else:
        widths = f[61]
        t = widths & 7
        L = (widths >> 3) + 10 if widths >> 3 else (chunk - 1).bit_length()
        nbytes = (n * (L + t) + 7) // 8
        at = total - nbytes if off_field & (1 << 31) else table_off
        bits = int.from_bytes(f[at:at + nbytes], 'little')
        lengths, types = [], []
        for i in range(n):
            e = bits >> (i * (L + t))
            lengths.append((e & ((1 << L) - 1)) + 5)
            types.append(1 if off_field & (1 << 28) else ((e >> L) & ((1 << t) - 1) if t else 0))
    shared = size_field & 0x100000
    result = bytearray()
    pos = data_off
    with tempfile.TemporaryDirectory() as tmp:
        for i in range(n):
            d = chunk if i + 1 < n or image_size % chunk == 0 else image_size % chunk
            c = f[pos:pos + lengths[i]]
            pos += lengths[i]
            payload, crc = c[:-4], struct.unpack('<I', c[-4:])[0]
            assert zlib.crc32(payload) == crc, 'chunk %d crc' % i
            if fmt == 0x110 and len(payload) == d:
                result += payload
            elif types[i] == 1:
                result += zlib.decompress(payload, -15)
            else:
                stream = (f[62:68] + struct.pack('<Q', d) + payload) if shared else payload
                name = os.path.join(tmp, 'c.lzma86')
                open(name, 'wb').write(stream)
                result += subprocess.run(['7z', 'x', '-tlzma86', '-so', name], check=True,
                                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    assert len(result) == image_size, (len(result), image_size)
    open(out, 'wb').write(result)


if __name__ == '__main__':
    a = sys.argv
    if a[1] == 'dmg':
        dmg(a[2], a[3], a[4], int(a[5]), int(a[6]))
    elif a[1] == 'isz':
        isz(a[2], a[3], a[4], int(a[5]), a[6] != 'nopointers' if len(a) > 6 else True,
            int(a[7]) if len(a) > 7 else 0, a[8] if len(a) > 8 else '0')
    elif a[1] == 'daacheck':
        daacheck(a[2], a[3], a[4:])
    elif a[1] == 'daa':
        daa(a[2], a[3], dict(x.split('=', 1) for x in a[4:]))
    elif a[1] == 'uif':
        uif(a[2], a[3], a[4], int(a[5]), int(a[6]))
