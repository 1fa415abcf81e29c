#!/usr/bin/env python3
"""Makes the extraction test cabinets in the folder given as argument.

Ordinary cabinets come from gcab (plain and MSZIP). What gcab cannot
express -- stored attributes, chosen DOS dates and times, member names that
leave the target folder -- comes from write_cabinet below, which writes an
uncompressed cabinet byte by byte. The damaged cabinets are cut or altered
copies of gcab's MSZIP cabinet.
"""
import os
import random
import shutil
import struct
import subprocess
import sys


def checksum(data, seed=0):
    """The cabinet format's CFDATA checksum (XOR of little-endian words)."""
    value = seed
    whole = len(data) - len(data) % 4
    for i in range(0, whole, 4):
        value ^= struct.unpack_from('<I', data, i)[0]
    tail = 0
    for b in data[whole:]:  # the last bytes go in most significant first
        tail = (tail << 8) | b
    return value ^ tail


def dos_date(year, month, day):
    return ((year - 1980) << 9) | (month << 5) | day


def dos_time(hour, minute, second):
    return (hour << 11) | (minute << 5) | (second // 2)


def write_cabinet(path, members, next_cabinet=None):
    """members: (name, bytes, attribs, date, time), one uncompressed folder.

    With next_cabinet, the cabinet says it is the first part of a split
    one: its folder, and its last member, go on in that (missing) cabinet.
    """
    data = b''.join(m[1] for m in members)
    blocks = [data[i:i + 32768] for i in range(0, len(data), 32768)]
    files = b''
    offset = 0
    for i, (name, body, attribs, date, time) in enumerate(members):
        size = len(body)
        folder_index = 0
        if next_cabinet and i == len(members) - 1:
            size *= 2  # the second half lies in the next cabinet
            folder_index = 0xFFFE  # continued to the next cabinet
        files += struct.pack('<IIHHHH', size, offset, folder_index, date, time, attribs) + name.encode('latin-1') + b'\0'
        offset += len(body)
    flags = 0
    names = b''
    if next_cabinet:
        flags = 0x0002  # a next cabinet follows
        names = next_cabinet.encode('latin-1') + b'\0' + b'disk2\0'
    coff_files = 36 + len(names) + 8
    coff_data = coff_files + len(files)
    cfdata = b''
    for i, block in enumerate(blocks):
        # The last block of a split folder goes on in the next cabinet: its
        # uncompressed size is 0 here.
        uncompressed = 0 if next_cabinet and i == len(blocks) - 1 else len(block)
        sizes = struct.pack('<HH', len(block), uncompressed)
        cfdata += struct.pack('<I', checksum(sizes, checksum(block))) + sizes + block
    total = coff_data + len(cfdata)
    header = struct.pack('<4sIIIIIBBHHHHH', b'MSCF', 0, total, 0, coff_files, 0, 3, 1, 1, len(members), flags, 0x1234,
                         0) + names
    folder = struct.pack('<IHH', coff_data, len(blocks), 0)
    with open(path, 'wb') as out:
        out.write(header + folder + files + cfdata)


PREVIOUS_CABINET = 0x0001
NEXT_CABINET = 0x0002
CONTINUED_FROM_PREVIOUS = 0xFFFD
CONTINUED_TO_NEXT = 0xFFFE
CONTINUED_BOTH_WAYS = 0xFFFF


def cabinet_bytes(entries, blocks, flags=0, names=b'', index=0):
    """One uncompressed cabinet with one folder.

    entries: (name, size, offset in the folder, folder index, date, time,
    attribs); blocks: (stored bytes, uncompressed size), the size 0 for the
    first part of a block that goes on in the next cabinet.
    """
    files = b''
    for name, size, offset, folder_index, date, time, attribs in entries:
        files += struct.pack('<IIHHHH', size, offset, folder_index, date, time, attribs) + name.encode('latin-1') + b'\0'
    coff_files = 36 + len(names) + 8
    coff_data = coff_files + len(files)
    cfdata = b''
    for block, uncompressed in blocks:
        sizes = struct.pack('<HH', len(block), uncompressed)
        cfdata += struct.pack('<I', checksum(sizes, checksum(block))) + sizes + block
    total = coff_data + len(cfdata)
    header = struct.pack('<4sIIIIIBBHHHHH', b'MSCF', 0, total, 0, coff_files, 0, 3, 1, 1, len(entries), flags, 0x1234,
                         index) + names
    folder = struct.pack('<IHH', coff_data, len(blocks), 0)
    return header + folder + files + cfdata


def cabinet_set(whole, split, next_name, previous_name='x_1.cab'):
    """A set of two cabinets: the first holds the members `whole` and the
    first half of `split` (all (name, bytes) pairs), the second the rest of
    `split`. Returns the two cabinets' bytes."""
    day = dos_date(2010, 1, 1)
    stream = b''.join(body for _, body in whole) + split[1]
    cut = len(stream) - len(split[1]) + len(split[1]) // 2
    first_entries = []
    offset = 0
    for name, body in whole:
        first_entries.append((name, len(body), offset, 0, day, 0, 0x20))
        offset += len(body)
    split_entry = (split[0], len(split[1]), offset)
    first_entries.append(split_entry + (CONTINUED_TO_NEXT, day, 0, 0x20))
    # 32 KB blocks; the block the cut falls in is split between the two.
    first_blocks, second_blocks = [], []
    for start in range(0, len(stream), 32768):
        block = stream[start:start + 32768]
        if start + len(block) <= cut:
            first_blocks.append((block, len(block)))
        elif start >= cut:
            second_blocks.append((block, len(block)))
        else:
            first_blocks.append((block[:cut - start], 0))
            second_blocks.append((block[cut - start:], len(block)))
    first = cabinet_bytes(first_entries, first_blocks, NEXT_CABINET, next_name.encode('latin-1') + b'\0disk2\0')
    second = cabinet_bytes([split_entry + (CONTINUED_FROM_PREVIOUS, day, 0, 0x20)], second_blocks, PREVIOUS_CABINET,
                           previous_name.encode('latin-1') + b'\0disk1\0', index=1)
    return first, second


def write(path, body):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as out:
        out.write(body)


def gcab(cabinet, source_dir, names, compress):
    # gcab stores the names as given, with backslashes for the separators.
    args = ['gcab', '-c'] + (['-z'] if compress else []) + [cabinet] + names
    subprocess.run(args, cwd=source_dir, check=True)


# Member names that would land outside the target folder. Each traversal
# cabinet holds a harmless file first, so a package that writes anything at
# all shows.
TRAVERSAL_NAMES = [
    '..\\..\\escape_up.dll',
    '\\escape_root.dll',
    'C:\\escape_drive.dll',
    'data\\..\\..\\..\\escape_mid.dll',
    'stream.txt:escape_stream',
    '../../escape_slash.dll',
]


# Member names that name a device, alone, with an extension or as the last
# part of a path.
DEVICE_NAMES = ['nul', 'CON.txt', 'data\\aux', 'sub\\com1.log', 'LPT9', 'nul .dat']


def main():
    out = os.path.abspath(sys.argv[1])
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    rng = random.Random(20240611)

    # Nested folders, with files spanning several 32 KB data blocks.
    nested = os.path.join(out, 'nested')
    nested_files = {
        'readme.txt': b'Read me first.\r\n' * 40,
        'data/levels/1.dat': rng.randbytes(70000),
        'data/levels/2.dat': b''.join(b'level line %d\n' % i for i in range(9000)),
        'data/sounds/boom.wav': rng.randbytes(5001),
        'top.bin': bytes(range(256)) * 3,
    }
    for name, body in nested_files.items():
        write(os.path.join(nested, name), body)
    gcab(os.path.join(out, 'nested.cab'), nested, list(nested_files), False)
    gcab(os.path.join(out, 'nested_zip.cab'), nested, list(nested_files), True)

    # Empty files only.
    empty = os.path.join(out, 'empty')
    empty_names = ['a.txt', 'sub/b.txt', 'sub/deeper/c.txt']
    for name in empty_names:
        write(os.path.join(empty, name), b'')
    gcab(os.path.join(out, 'empty.cab'), empty, empty_names, False)

    # Big enough that a stop lands in the middle of the extraction pass.
    # Sizes differ, so that partial sums tell files apart.
    big = os.path.join(out, 'big')
    big_names = []
    for i in range(120):
        name = 'f%03d.bin' % i
        write(os.path.join(big, name), rng.randbytes(120000 + 1733 * i))
        big_names.append(name)
    gcab(os.path.join(out, 'big.cab'), big, big_names, True)

    # Stored dates, times and attributes.
    write_cabinet(os.path.join(out, 'attributes.cab'), [
        ('stamped.txt', b'stamped\r\n', 0x20, dos_date(2009, 7, 15), dos_time(13, 45, 30)),
        ('old.txt', b'old', 0x20, dos_date(1980, 1, 1), dos_time(0, 0, 0)),
        ('ro_exec.txt', b'read-only and executable', 0x61, dos_date(2001, 2, 3), dos_time(4, 5, 6)),
        ('readonly.txt', b'read-only', 0x01, dos_date(2001, 2, 3), dos_time(4, 5, 6)),
        ('hidden.txt', b'hidden', 0x22, dos_date(2001, 2, 3), dos_time(4, 5, 6)),
        ('system.txt', b'system', 0x24, dos_date(2001, 2, 3), dos_time(4, 5, 6)),
        ('utf_flag.txt', b'name-encoding bit', 0xA0, dos_date(2001, 2, 3), dos_time(4, 5, 6)),
        ('every_bit.txt', b'every bit', 0xFF, dos_date(2001, 2, 3), dos_time(4, 5, 6)),
    ])

    for i, name in enumerate(TRAVERSAL_NAMES):
        write_cabinet(os.path.join(out, 'traversal_%d.cab' % i), [
            ('ok.txt', b'harmless', 0x20, dos_date(2010, 1, 1), 0),
            (name, b'escaped', 0x20, dos_date(2010, 1, 1), 0),
        ])

    # Members named like devices: opening them would open the device.
    for i, name in enumerate(DEVICE_NAMES):
        write_cabinet(os.path.join(out, 'device_%d.cab' % i), [
            ('ok.txt', b'harmless', 0x20, dos_date(2010, 1, 1), 0),
            (name, b'to a device', 0x20, dos_date(2010, 1, 1), 0),
        ])

    # Names with forward slashes extract into the folders they name.
    write_cabinet(os.path.join(out, 'slashes.cab'), [
        ('data/levels/1.dat', b'level one', 0x20, dos_date(2010, 1, 1), 0),
        ('data/2.dat', b'two', 0x20, dos_date(2010, 1, 1), 0),
        ('top.txt', b'top', 0x20, dos_date(2010, 1, 1), 0),
    ])

    # A member that takes a name the target folder keeps for itself.
    write_cabinet(os.path.join(out, 'reserved.cab'), [
        ('ok.txt', b'harmless', 0x20, dos_date(2010, 1, 1), 0),
        ('_VERSION.bin', b'reserved.cab', 0x20, dos_date(2010, 1, 1), 0),
    ])
    write_cabinet(os.path.join(out, 'self.cab'), [
        ('ok.txt', b'harmless', 0x20, dos_date(2010, 1, 1), 0),
        ('SELF.CAB', b'overwrites its own cabinet', 0x20, dos_date(2010, 1, 1), 0),
    ])

    # The first part of a split cabinet whose next part does not exist.
    write_cabinet(os.path.join(out, 'split_first.cab'), [
        ('whole.txt', b'inside the first part', 0x20, dos_date(2010, 1, 1), 0),
        ('halved.bin', bytes(range(256)) * 8, 0x20, dos_date(2010, 1, 1), 0),
    ], next_cabinet='split_missing.cab')

    # Parts of cabinet sets: only one cabinet is ever verified, so none of
    # them may be extracted. The two parts of a whole set lie side by side.
    first, second = cabinet_set([('whole.txt', b'inside the first part')], ('halved.bin', bytes(range(256)) * 300),
                                'set_second.cab', 'set_first.cab')
    write(os.path.join(out, 'set_first.cab'), first)
    write(os.path.join(out, 'set_second.cab'), second)
    day = dos_date(2010, 1, 1)
    plain = [('a.txt', 5, 0), ('b.txt', 5, 5)]  # name, size, offset in the folder
    blocks = [(b'aaaaabbbbb', 10)]
    for name, flags, folders in [
        ('names_next.cab', NEXT_CABINET, (0, 0)),
        ('names_previous.cab', PREVIOUS_CABINET, (0, 0)),
        ('continued_from.cab', 0, (CONTINUED_FROM_PREVIOUS, 0)),
        ('continued_to.cab', 0, (0, CONTINUED_TO_NEXT)),
        ('continued_both.cab', 0, (0, CONTINUED_BOTH_WAYS)),
    ]:
        names = b''
        if flags & PREVIOUS_CABINET:
            names += b'set_first.cab\0disk1\0'
        if flags & NEXT_CABINET:
            names += b'set_second.cab\0disk2\0'
        entries = [(n, size, offset, folder, day, 0, 0x20) for (n, size, offset), folder in zip(plain, folders)]
        write(os.path.join(out, name), cabinet_bytes(entries, blocks, flags, names))

    # Damaged copies of the MSZIP cabinet.
    with open(os.path.join(out, 'nested_zip.cab'), 'rb') as f:
        whole = bytearray(f.read())
    write(os.path.join(out, 'truncated_header.cab'), bytes(whole[:30]))
    write(os.path.join(out, 'truncated_data.cab'), bytes(whole[:len(whole) * 3 // 5]))
    first_block = struct.unpack_from('<I', whole, 36)[0]
    whole[first_block + 8 + 100] ^= 0x5A
    whole[first_block + 8 + 101] ^= 0xA5
    write(os.path.join(out, 'flipped.cab'), bytes(whole))


if __name__ == '__main__':
    main()
