#!/usr/bin/env python3
"""Writes, into the current folder, copies of a package zivavod made (named pkg, holding pkg.dat,
manifest.json and pkg.app) that each differ from it in one way: written.zip is the package written
again field by field as zivavod writes it, which must stay sound; every other copy holds one
fault, a forged record, a patched byte or bytes added, for zivavod-inspect to name.

  forge_zips.py PACKAGE.zip
"""
import struct, sys, zipfile, zlib
data = open(sys.argv[1], 'rb').read()
z = zipfile.ZipFile(sys.argv[1])
dat, man, app = (z.read(n) for n in ('pkg.dat', 'manifest.json', 'pkg.app'))
def deflate(raw):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(raw) + c.flush()
def write(name, entries, stream=deflate, comment=b'', flags=2):  # written field by field
    out, central = b'', b''
    for entry, raw in entries:
        common = struct.pack('<HHHHHIIIHH', 20, flags, 8, 0, 0x21, zlib.crc32(raw), len(stream(raw)),
                             len(raw), len(entry), 0)
        central += b'PK\1\2\x14\3' + common + bytes(10) + struct.pack('<I', len(out)) + entry
        out += b'PK\3\4' + common + entry + stream(raw)
    end = struct.pack('<4H2IH', 0, 0, len(entries), len(entries), len(central), len(out),
                      len(comment))
    open(name + '.zip', 'wb').write(out + central + b'PK\5\6' + end + comment)
def patch(name, at, value):
    open(name + '.zip', 'wb').write(data[:at] + value + data[at + len(value):])
def no_final(raw):  # the init packet's final-block bit cleared: its stream runs on
    return bytes([deflate(raw)[0] & 0xFE]) + deflate(raw)[1:] if raw == dat else deflate(raw)
whole = ((b'pkg.dat', dat), (b'manifest.json', man), (b'pkg.app', app))
write('written', whole)
write('early_end', whole, lambda raw: deflate(raw) + b'\0' * (raw == app))
write('not_final', whole, no_final)
write('comment', whole, comment=b'hi')
write('twice', ((b'pkg.dat', dat), (b'manifest.json', man.replace(b'"dfu_version"',
      b'"dfu_version": 0.5, "dfu_version"')), (b'pkg.app', app)))
write('not_utf8', ((b'pkg.dat', dat), (b'manifest.json', man.replace(b'65534', b'\xff')),
      (b'pkg.app', app)))
open('behind.zip', 'wb').write(data + b'\0')
open('before.zip', 'wb').write(b'\0' + data)
manifest_at, central = data.index(b'PK\3\4', 1), data.index(b'PK\1\2')
patch('local_name', 30, b'q')
patch('local_crc', manifest_at + 14, b'\0')
patch('version', central + 6, b'\x15')
patch('encrypted', central + 8, b'\3')
patch('flags', central + 8, b'\x0a')
patch('offset', central + 42, b'\1')
patch('local_extra', manifest_at + 28, b'\4')
patch('disk', len(data) - 18, b'\1')
patch('entry_disk', central + 34, b'\1')
patch('count', len(data) - 12, b'\2')
patch('method', central + 10, b'\x0c')
patch('size', central + 24, b'\x0f')
patch('past', data.rindex(b'PK\1\2') + 23, b'\1')
open('cut_comment.zip', 'wb').write(open('comment.zip', 'rb').read()[:-1])
write('larger', ((b'pkg.dat', dat * 2), (b'manifest.json', man), (b'pkg.app', app)))
write('utf8_name', ((b'pk\xe9.dat', dat), (b'manifest.json', man), (b'pkg.app', app)),
      flags=0x802)
patch('record_long', central + 32, b'\0\xff')
many = bytearray(data)  # more problems than are kept: every local header field changed, ...
for at in (0, manifest_at, data.index(b'PK\3\4', manifest_at + 1)):
    many[at + 4:at + 26] = b'\xff' * 22
for at in (central, data.index(b'PK\1\2', central + 1), data.rindex(b'PK\1\2')):
    many[at + 6:at + 10] = b'\xff\xff\3\0'
many[-18:-17], many[-2:] = b'\1', b'\1\0'  # and the end record's: another disk, a comment
open('many.zip', 'wb').write(many + b'\0\0')
patch('no_directory', len(data) - 10, struct.pack('<II', 0, len(data) - 22))
open('behind_signature.zip', 'wb').write(data + b'PK\5\6' + bytes(17))  # too short to be one
write('empty_last', whole + ((b'', b''),), lambda raw: deflate(raw) if raw else b'')
