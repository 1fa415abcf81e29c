#!/usr/bin/env python3
"""Makes the hostile packages of the hostile-input suite, signed with the
development key like any good package: the signature is sound, the cabinet
inside is not.

usage: make_packages.py OUT_DIR GAME_DLL PRIVATE_KEY_PEM

The cabinets come from the byte-level builder of the extraction tests
(tests/extract/make_fixtures.py), the signatures from openssl through the
signing of the loader's tests (tests/extension/make_packages.py).
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'extract'))
sys.path.insert(0, os.path.join(HERE, '..', 'extension'))
from make_fixtures import cabinet_set, write_cabinet, dos_date  # noqa: E402
from make_packages import sign, write  # noqa: E402

DAY = dos_date(2010, 1, 1)


def member(name, body):
    return (name, body, 0x20, DAY, 0)


def main():
    out, game_dll, key = sys.argv[1:4]
    os.makedirs(out, exist_ok=True)
    with open(game_dll, 'rb') as f:
        game = f.read()
    packages = {
        # A device as a member: writing into it would block or vanish.
        'device.pkg': [member('testgame.dll', game), member('nul.txt', b'to the device')],
        'device_path.pkg': [member('testgame.dll', game), member('data\\COM1', b'to the port')],
        # Forward slashes separate folders like backslashes.
        'slashes.pkg': [member('testgame.dll', game), member('data/levels/1.dat', b'level one')],
        # The version marker first, then a member that cannot be written (a
        # file where its folder should be): a planted marker would vouch for
        # the failed install.
        'marker.pkg': [member('_Version.bin', b'marker.pkg'), member('testgame.dll', game),
                       member('x', b'a file'), member('x\\y.dat', b'under a file')],
        # The game module alone: its path is the longest an install must take.
        'alone.pkg': [member('testgame.dll', game)],
        # A member named like the package truncates the package being read.
        'self.pkg': [member('testgame.dll', game), member('SELF.PKG', b'x' * 1000)],
    }
    for name, members in packages.items():
        cab = os.path.join(out, name + '.cab')
        write_cabinet(cab, members)
        with open(cab, 'rb') as f:
            content = f.read()
        os.unlink(cab)
        write(os.path.join(out, name), sign(content, key))
    # The first part of a split cabinet whose next part is nowhere.
    cab = os.path.join(out, 'split.cab')
    write_cabinet(cab, [member('testgame.dll', game), member('halved.bin', bytes(range(256)) * 8)],
                  next_cabinet='split2.cab')
    with open(cab, 'rb') as f:
        content = f.read()
    os.unlink(cab)
    write(os.path.join(out, 'split.pkg'), sign(content, key))

    # A set of two cabinets: the signed first part says the game module goes
    # on in x_2.cab, and x_2.cab, which nobody signed, holds the rest of it.
    first, second = cabinet_set([], ('testgame.dll', game), 'x_2.cab')
    write(os.path.join(out, 'set.pkg'), sign(first, key))
    write(os.path.join(out, 'x_2.cab'), second)

    # The game and a 5 MB member that compresses to almost nothing (MSZIP),
    # so the package is small and the extraction large.
    work = tempfile.mkdtemp()
    try:
        shutil.copy(game_dll, os.path.join(work, 'testgame.dll'))
        os.makedirs(os.path.join(work, 'data'))
        with open(os.path.join(work, 'data', 'big.bin'), 'wb') as f:
            f.write(b'five megabytes of level data\n' * (5 * 1024 * 1024 // 29))
        cab = os.path.join(work, 'big.cab')
        subprocess.run(['gcab', '-c', '-z', cab, 'testgame.dll', 'data/big.bin'], cwd=work, check=True)
        with open(cab, 'rb') as f:
            write(os.path.join(out, 'big_member.pkg'), sign(f.read(), key))
    finally:
        shutil.rmtree(work)


if __name__ == '__main__':
    main()
