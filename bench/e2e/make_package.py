#!/usr/bin/env python3
"""Makes a signed game package of about a given size for the benchmarks and
the soak test: testgame.dll plus data files, cabinet by gcab (MSZIP), signed
by tools/fyrel-sign (openssl underneath).

usage: make_package.py OUT.pkg GAME_DLL SIZE_BYTES PRIVATE_KEY_PEM [SEED]

All but a fiftieth of the size is incompressible (seeded pseudo-random bytes), so
the package really is about SIZE_BYTES on the wire; a compressible file half
that size rides along, so extraction writes more than it reads, as a real
game's would.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SIGN = os.path.join(HERE, "..", "..", "tools", "fyrel-sign")
CHUNK = 1 << 20


def write_random(path, size, rng):
    with open(path, "wb") as f:
        while size > 0:
            n = min(CHUNK, size)
            f.write(rng.randbytes(n))
            size -= n


def write_compressible(path, size):
    line = b"level 0001: paddle speed 4, ball speed 7, bricks 12x8, colour 0x3366cc\r\n"
    with open(path, "wb") as f:
        block = (line * (CHUNK // len(line) + 1))[:CHUNK]
        while size > 0:
            n = min(CHUNK, size)
            f.write(block[:n])
            size -= n


def main():
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__)
    out, game_dll, size, key = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    seed = int(sys.argv[5]) if len(sys.argv) == 6 else 1
    rng = random.Random(seed)
    work = tempfile.mkdtemp(dir=os.path.dirname(os.path.abspath(out)) or ".")
    try:
        shutil.copy(game_dll, os.path.join(work, "testgame.dll"))
        os.makedirs(os.path.join(work, "data"))
        write_random(os.path.join(work, "data", "noise.bin"), size - size // 50, rng)
        write_compressible(os.path.join(work, "data", "levels.txt"), size // 2)
        cab = os.path.join(work, "game.cab")
        subprocess.run(["gcab", "-c", "-z", cab, "testgame.dll", "data/noise.bin", "data/levels.txt"], cwd=work,
                       check=True)
        subprocess.run([sys.executable, SIGN, "sign", cab, out, "--key", key], check=True,
                       stdout=subprocess.DEVNULL)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
