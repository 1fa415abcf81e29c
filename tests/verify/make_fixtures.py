#!/usr/bin/env python3
"""Makes the signed-package fixtures with gcab and openssl alone (not with our
own tool), so the verifier is checked against signatures we did not make.

usage: make_fixtures.py PRIVATE.pem OUT_DIR

Writes, for each case, NAME.pkg (the package as downloaded) and NAME.expect
(the bytes the file must hold after verification).
"""

import os
import random
import subprocess
import sys

MARKER = b"!fyrelsig!"
WINDOW = 102400


def run(*args, **kwargs):
    subprocess.run(list(args), check=True, capture_output=True, **kwargs)


def sign(key, data, work):
    """openssl's signature (most significant byte first) of data."""
    path = os.path.join(work, "content.bin")
    with open(path, "wb") as f:
        f.write(data)
    return subprocess.run(["openssl", "dgst", "-md5", "-sign", key, path], check=True, capture_output=True).stdout


def cabinet(work, name, files):
    folder = os.path.join(work, name)
    os.makedirs(folder, exist_ok=True)
    for file_name, data in files.items():
        with open(os.path.join(folder, file_name), "wb") as f:
            f.write(data)
    cab = os.path.join(work, name + ".cab")
    run("gcab", "-c", "-z", cab, *sorted(files), cwd=folder)
    with open(cab, "rb") as f:
        return f.read()


def main():
    key, out = sys.argv[1], sys.argv[2]
    work = os.path.join(out, "work")
    os.makedirs(work, exist_ok=True)
    rng = random.Random(1234)  # fixed bytes: the fixtures do not change from build to build

    small = cabinet(work, "small", {"readme.txt": b"A small game.\r\n" * 20})
    # Incompressible, so the cabinet is far longer than the search window.
    big = cabinet(work, "big", {"data.bin": rng.randbytes(300000)})
    assert len(small) < WINDOW < len(big) and MARKER not in small and MARKER not in big

    other_key = os.path.join(work, "other_private.pem")
    run("openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:1024", "-out", other_key)

    def stored(data, with_key=key):
        return sign(with_key, data, work)[::-1]  # CryptoAPI order: least significant byte first

    sig_small = stored(small)
    sig_big = stored(big)
    changed = bytearray(small)
    changed[len(changed) // 2] ^= 0x01
    changed = bytes(changed)

    def trailer(signature):
        return MARKER + signature + MARKER

    # Tail that puts the first marker exactly at the window's start, and one
    # byte more that puts it just outside.
    at_window_start = b"\0" * (WINDOW - len(trailer(sig_small)))
    cases = {
        "accepted_no_tail": (small + trailer(sig_small), small),
        "accepted_with_tail": (small + trailer(sig_small) + b"tail added by a server\n", small),
        "accepted_big_tail_with_markers": (big + trailer(sig_big) + MARKER + b"junk" + MARKER, big),
        "accepted_marker_at_window_start": (small + trailer(sig_small) + at_window_start, small),
        "changed_content_byte": (changed + trailer(sig_small), changed),
        "signature_most_significant_byte_first": (small + trailer(sig_small[::-1]), small),
        "different_key": (small + trailer(stored(small, other_key)), small),
        "missing_first_marker": (small + sig_small + MARKER, None),
        "already_verified": (small, None),
        "marker_before_window": (small + trailer(sig_small) + at_window_start + b"\0", None),
        "adjacent_markers": (small + MARKER + MARKER, None),
        "adjacent_markers_then_third": (small + MARKER + MARKER + b"xyz" + MARKER, small),
    }
    for name, (package, after) in cases.items():
        with open(os.path.join(out, name + ".pkg"), "wb") as f:
            f.write(package)
        with open(os.path.join(out, name + ".expect"), "wb") as f:
            f.write(package if after is None else after)  # None: the file stays unchanged


if __name__ == "__main__":
    main()
