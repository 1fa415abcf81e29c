#!/usr/bin/env python3
"""Zips a folder so that the same files give the same archive bytes.

usage: deterministic_zip.py FOLDER OUT.zip

Entries are named FOLDER's name/relative path, sorted, stamped with
SOURCE_DATE_EPOCH (the commit's time; 1980-01-01 is the earliest a zip
holds), marked as made on Unix with mode 0755 for executable files and 0644
for the rest, and deflated at one fixed level. Nothing of the machine, the
user or the clock reaches the archive.
"""
import os
import stat
import sys
import time
import zipfile


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 3
    folder, out = argv[1], argv[2]
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    top = os.path.basename(os.path.normpath(folder))
    names = []
    for base, dirs, files in os.walk(folder):
        for name in files:
            path = os.path.join(base, name)
            names.append(os.path.relpath(path, folder).replace(os.sep, "/"))
    partial = out + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in sorted(names):
            path = os.path.join(folder, name)
            entry = zipfile.ZipInfo(f"{top}/{name}", date_time=stamp)
            entry.create_system = 3
            mode = 0o755 if os.stat(path).st_mode & stat.S_IXUSR else 0o644
            entry.external_attr = (stat.S_IFREG | mode) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    os.replace(partial, out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
