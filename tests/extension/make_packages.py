#!/usr/bin/env python3
"""Makes the signed game packages of the loader's end-to-end tests.

usage: make_packages.py OUT_DIR GAME_DLL PRIVATE_KEY_PEM

The cabinet is made by gcab (MSZIP) and signed by openssl, neither of them
ours: content, "!fyrelsig!", the MD5 RSA signature least significant byte
first, "!fyrelsig!".
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

MARKER = b"!fyrelsig!"


def sign(content, key):
    with tempfile.NamedTemporaryFile(delete=False) as f:
        f.write(content)
        name = f.name
    try:
        signature = subprocess.run(["openssl", "dgst", "-md5", "-sign", key, name],
                                   check=True, capture_output=True).stdout
    finally:
        os.unlink(name)
    return content + MARKER + signature[::-1] + MARKER


def write(path, data):
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    os.replace(path + ".tmp", path)


def cabinet(game_dll, level):
    work = tempfile.mkdtemp()
    try:
        shutil.copy(game_dll, os.path.join(work, "testgame.dll"))
        os.makedirs(os.path.join(work, "data", "levels"))
        with open(os.path.join(work, "data", "levels", "1.dat"), "wb") as f:
            f.write(level)
        cab = os.path.join(work, "game.cab")
        subprocess.run(["gcab", "-c", "-z", cab, "testgame.dll", "data/levels/1.dat"], cwd=work, check=True)
        with open(cab, "rb") as f:
            return f.read()
    finally:
        shutil.rmtree(work)


def main():
    out, game_dll, key = sys.argv[1:4]
    os.makedirs(out, exist_ok=True)
    content = cabinet(game_dll, bytes(range(256)) * 40)
    # A later version of the same game: another level file.
    newer = cabinet(game_dll, bytes(range(255, -1, -1)) * 40)

    good = sign(content, key)
    write(os.path.join(out, "game2.pkg"), sign(newer, key))
    write(os.path.join(out, "game.pkg"), good)
    write(os.path.join(out, "game.cab"), content)
    bad = bytearray(good)
    bad[len(content) // 2] ^= 0x01  # one content byte changed after signing
    write(os.path.join(out, "badsig.pkg"), bytes(bad))
    damaged = bytearray(content)
    for i in range(len(content) - 200, len(content) - 100):  # inside the last data block
        damaged[i] ^= 0x5A
    write(os.path.join(out, "damaged.pkg"), sign(bytes(damaged), key))

    # Large enough that reading it for the check takes a while: 16 MiB of
    # seeded pseudo-random bytes, stored uncompressed.
    work = tempfile.mkdtemp()
    try:
        shutil.copy(game_dll, os.path.join(work, "testgame.dll"))
        rng = random.Random(27)
        with open(os.path.join(work, "bulk.dat"), "wb") as f:
            for _ in range(16):
                f.write(rng.randbytes(1 << 20))
        cab = os.path.join(work, "large.cab")
        subprocess.run(["gcab", "-c", cab, "testgame.dll", "bulk.dat"], cwd=work, check=True)
        with open(cab, "rb") as f:
            write(os.path.join(out, "large.pkg"), sign(f.read(), key))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
