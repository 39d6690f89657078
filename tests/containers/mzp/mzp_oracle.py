#!/usr/bin/env python3
"""An independent reader of MZP archives and their MARFS volume, written from
the documented layout with Python's zlib, 7-Zip's LZMA86 decoder and the cryptography package:
extracts the archive's files into a folder so the tests can diff them.

usage: mzp_oracle.py ARCHIVE OUTDIR [PASSWORD]
       mzp_oracle.py --xdi IMAGE OUTFILE [PASSWORD]   (the decoded sectors of an XDI image)
"""
import os
import struct
import sys
import zlib
import subprocess
import tempfile

def u32(b, o): return struct.unpack_from('<I', b, o)[0]
def u64(b, o): return struct.unpack_from('<Q', b, o)[0]

def fail(msg):
    print('oracle: ' + msg, file=sys.stderr)
    sys.exit(2)

def read_volumes(path):
    data = open(path, 'rb').read()
    base = 0
    sfx_tail = 0
    if len(data) > 65536 and u32(data, len(data) - 28) == 5 and u32(data, len(data) - 24) == 28:
        base = u32(data, len(data) - 8)
        sfx_tail = 28
    h = data[base:base + 77]
    if h[:4] != b'MZP\0' or zlib.crc32(h[:73]) != u32(h, 73):
        fail('bad header')
    hl = u32(h, 16)
    recs = {}
    at = base + 77
    while at < base + hl:
        t, l = u32(data, at), u32(data, at + 4)
        if l < 8: fail('bad record')
        recs[t] = data[at:at + l]
        at += l
    archive = data[:len(data) - sfx_tail]
    if 1 in recs:
        count = u32(recs[1], 8)
        style = u32(recs[1], 48) & 15
        width = 2 if style == 0 else 3
        sizes = recs[2]
        if u32(sizes, 8) != count or u32(sizes, 12) != 1: fail('bad volume sizes')
        stem, ext = path[:-4], path[-4:]
        digits = stem[-width:]
        stem = stem[:-width]
        parts = [data]
        for n in range(1, count):
            name = stem + str(n + 1).zfill(width) + ('.mzp' if ext.lower() == '.exe' else ext)
            v = open(name, 'rb').read()
            if v[:8] != b'MZP VOL\0' or zlib.crc32(v[:36]) != u32(v, 36) or u32(v, 16) != 100:
                fail('bad volume header ' + name)
            size = u32(sizes, 16 + 5 * n) | (sizes[16 + 5 * n + 4] << 32)
            if size != len(v): fail('volume size differs ' + name)
            parts.append(v[100:])
        archive = b''.join(parts)
    return archive, base, h, recs

def decode_image(path, password):
    archive, base, h, recs = read_volumes(path)
    version = u32(h, 20)
    off = u32(h, 24)
    enc = h[28]
    flags = u32(h, 37)
    size = u64(h, 41)
    asize = u64(h, 49)
    chunk = (flags & 0xFFF) * 16384
    lfield = h[62] >> 3
    L = lfield + 10 if lfield else (chunk - 1).bit_length()
    T = h[62] & 7
    count = (size + chunk - 1) // chunk
    tlen = (count * (L + T) + 7) // 8
    if version != 0x100: fail('version')
    if off & 0x80000000:
        if flags & 0x4000:
            csize = u32(h, 58)
            table = zlib.decompress(archive[asize - csize:asize], -15)
        else:
            table = archive[asize - tlen:asize]
    else:
        table = archive[base + u32(h, 16):base + u32(h, 16) + tlen]
    if len(table) != tlen: fail('table length')
    bits = int.from_bytes(table, 'little')
    cipher = None
    if enc:
        from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
        key = password.encode()[:[16, 24, 32][enc - 1]].ljust([16, 24, 32][enc - 1], b'\0')
        cipher = Cipher(algorithms.AES(key), modes.ECB())
    pos = base + (off & 0xFFFFFF)
    out = bytearray()
    for i in range(count):
        e = (bits >> (i * (L + T))) & ((1 << (L + T)) - 1)
        s = (e & ((1 << L) - 1)) + (6 if enc else 5)
        typ = e >> L
        u = chunk if i + 1 < count or size % chunk == 0 else size % chunk
        st = archive[pos:pos + s]
        pos += s
        if enc:
            p = st[0]
            d = cipher.decryptor()
            plain = d.update(st[1:s - 4]) + d.finalize()
            comp = plain[:len(plain) - p]
        else:
            comp = st[:s - 4]
        if zlib.crc32(comp) != u32(st, s - 4): fail('chunk crc %d' % i)
        if s == u + (5 if enc else 4):
            data = comp
        elif typ == 1:
            data = zlib.decompress(comp, -15)
        elif typ == 0:
            if flags & 0x100000:
                comp = h[63:69] + struct.pack('<Q', u) + comp
            # 7-Zip's own LZMA86 decoder reads the chunk with its 14-byte header.
            with tempfile.NamedTemporaryFile(suffix='.lzma86') as f:
                f.write(comp)
                f.flush()
                r = subprocess.run(['7z', 'x', '-so', '-tlzma86', f.name], capture_output=True)
            if r.returncode != 0: fail('7z could not decode chunk %d' % i)
            data = r.stdout
        else:
            fail('type')
        if len(data) != u: fail('chunk %d length %d != %d' % (i, len(data), u))
        out += data
    return bytes(out)

def extract_marfs(img, outdir):
    if img[:7] != b'MARFSVO': fail('no MARFS')
    root = img[20:55]
    work = [(outdir, u32(root, 2), u64(root, 10))]
    while work:
        folder, first, size = work.pop()
        os.makedirs(folder, exist_ok=True)
        d = img[first * 2048:first * 2048 + size]
        at = 0
        while at + 2 <= len(d):
            l = struct.unpack_from('<H', d, at)[0]
            if l == 0: break
            r = d[at:at + l]
            at += l
            fs, sz, fl = u32(r, 2), u64(r, 10), r[18]
            nl = struct.unpack_from('<H', r, 32)[0]
            name = r[34:34 + nl].decode('utf-16-le')
            p = os.path.join(folder, name)
            if fl & 1:
                work.append((p, fs, sz))
            else:
                with open(p, 'wb') as f:
                    f.write(img[fs * 2048:fs * 2048 + sz])

def decode_blocks(archive, first, count, chunk, size, L, T, table, enc, password, hoisted_prefix=None):
    bits = int.from_bytes(table, 'little')
    cipher = None
    if enc:
        from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
        n = [16, 24, 32][enc - 1]
        cipher = Cipher(algorithms.AES(password.encode()[:n].ljust(n, b'\0')), modes.ECB())
    pos = first
    out = bytearray()
    for i in range(count):
        e = (bits >> (i * (L + T))) & ((1 << (L + T)) - 1)
        s = (e & ((1 << L) - 1)) + (6 if enc else 5)
        typ = e >> L
        u = chunk if i + 1 < count or size % chunk == 0 else size % chunk
        st = archive[pos:pos + s]
        pos += s
        if enc:
            d = cipher.decryptor()
            plain = d.update(st[1:s - 4]) + d.finalize()
            comp = plain[:len(plain) - st[0]]
        else:
            comp = st[:s - 4]
        if zlib.crc32(comp) != u32(st, s - 4): fail('block crc %d' % i)
        if s == u + (5 if enc else 4):
            data = comp
        elif typ == 1:
            data = zlib.decompress(comp, -15)
        else:
            with tempfile.NamedTemporaryFile(suffix='.lzma86') as f:
                f.write(comp)
                f.flush()
                r = subprocess.run(['7z', 'x', '-so', '-tlzma86', f.name], capture_output=True)
            if r.returncode != 0: fail('7z could not decode block %d' % i)
            data = r.stdout
        if len(data) != u: fail('block %d length' % i)
        out += data
    return bytes(out)

def decode_xdi(path, password):
    data = open(path, 'rb').read()
    hl = u32(data, 4)
    h = bytearray(data[:hl])
    crc = u32(h, 8)
    h[8:12] = b'\0\0\0\0'
    if h[:4] != b'XDI\0' or zlib.crc32(bytes(h)) != crc: fail('bad XDI header')
    parts = struct.unpack_from('<H', h, 55)[0]
    archive = data
    if parts:
        if u64(h, 57) != len(data): fail('first part size')
        chunks = [data]
        before = len(data)
        stem = path[:-6]
        for n in range(1, parts):
            name = stem + str(n + 1).zfill(2) + '.xdi'
            p = open(name, 'rb').read()
            ph = bytearray(p[:40])
            pc = u32(ph, 8)
            ph[8:12] = b'\0\0\0\0'
            if ph[:4] != b'XDI\0' or zlib.crc32(bytes(ph)) != pc or u32(ph, 4) != 40 or u32(ph, 16) != 3:
                fail('bad part header ' + name)
            if u64(ph, 24) != before or u64(ph, 32) != len(p): fail('part offsets ' + name)
            before += len(p)
            chunks.append(p[40:])
        archive = b''.join(chunks)
    if u32(h, 12) != 1: fail('version')
    chunk = (u32(h, 25) & 0xFFF) * 16384
    size = u64(h, 37)
    lfield = h[54] >> 3
    L = lfield + 10 if lfield else (chunk - 1).bit_length()
    T = h[54] & 7
    count = (size + chunk - 1) // chunk
    tlen = (count * (L + T) + 7) // 8
    table = archive[hl:hl + tlen]
    first = u32(h, 20) & 0xFFFFFF
    if first != hl + tlen: fail('first block offset')
    return decode_blocks(archive, first, count, chunk, size, L, T, table, h[24], password)

if __name__ == '__main__':
    if sys.argv[1] == '--xdi':
        img = decode_xdi(sys.argv[2], sys.argv[4] if len(sys.argv) > 4 else '')
        open(sys.argv[3], 'wb').write(img)
    else:
        img = decode_image(sys.argv[1], sys.argv[3] if len(sys.argv) > 3 else '')
        extract_marfs(img, sys.argv[2])
