#!/usr/bin/env python3
"""Builds a one-chunk MZP archive around a MARFS volume described on the
command line, so the tests can hand the reader damaged directories.

usage: make_marfs_mzp.py OUT CASE
"""
import struct
import sys
import zlib

def record(name, sector, size, folder=False, length=None, name_bytes=None):
    n = name.encode('utf-16-le')
    head = struct.pack('<HIIQBB12sH', length if length is not None else 34 + len(n), sector, 0, size,
                       1 if folder else 0, 0, bytes(12), name_bytes if name_bytes is not None else len(n))
    return head + n

def volume(root_records, sectors):
    """root_records: bytes of the root directory at sector 1; sectors: extra sectors from 2 on."""
    head = bytearray(2048)
    head[0:7] = b'MARFSVO'
    head[20:38] = struct.pack('<HIIQ', 35, 1, 0, 2048)
    root = root_records + bytes(-len(root_records) % 2048)
    return bytes(head) + root[:2048] + b''.join(s + bytes(-len(s) % 2048) for s in sectors)

def mzp(image):
    comp = zlib.compressobj(6, zlib.DEFLATED, -15)
    body = comp.compress(image) + comp.flush()
    stored = body + struct.pack('<I', zlib.crc32(body))
    table = ((len(stored) - 5) | (1 << 16)).to_bytes(3, 'little')
    h = bytearray(77)
    h[0:3] = b'MZP'
    struct.pack_into('<III', h, 16, 77, 0x100, 77 + len(table))
    struct.pack_into('<I', h, 29, 1)
    struct.pack_into('<I', h, 37, 4)
    struct.pack_into('<QQ', h, 41, len(image), 77 + len(table) + len(stored))
    h[62] = 1
    struct.pack_into('<I', h, 73, zlib.crc32(bytes(h[:73])))
    return bytes(h) + table + stored

good = record('good.txt', 2, 3)
cases = {
    'plain': (good, [b'hi\n']),
    'cycle': (good + record('loop', 1, 2048, folder=True), [b'hi\n']),
    'self-loop': (good + record('sub', 3, 2048, folder=True), [b'hi\n', record('again', 3, 2048, folder=True)]),
    'huge folder': (good + record('big', 3, 2**32 + 2048, folder=True), [b'hi\n', b'']),
    'huge file': (good + record('big.bin', 2, 2**32 + 2048), [b'hi\n']),
    'short record': (good + record('x', 2, 1, length=20), [b'hi\n']),
    'odd name': (good + record('odd', 2, 1, name_bytes=5), [b'hi\n']),
    'dot dot': (good + record('..', 2, 1), [b'hi\n']),
    'slash': (good + record('a/b', 2, 1), [b'hi\n']),
    'nul': (good + record('a\0b', 2, 1), [b'hi\n']),
    'past the end': (good + record('far', 900, 4096), [b'hi\n']),
}
root, sectors = cases[sys.argv[2]]
open(sys.argv[1], 'wb').write(mzp(volume(root, sectors)))
