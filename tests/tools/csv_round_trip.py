#!/usr/bin/env python3
"""The CSV of empdump read back with Python's csv module: with --csv, each
name is its exact bytes again once the inverse the manual gives is applied
(drop a leading ', then read \\\\ as a backslash and \\xNN as a byte), and
the other text cells once the leading ' is dropped; with --csv --raw, each
cell is exact as it stands. Usage: csv_round_trip.py EMPDUMP"""
import csv
import io
import os
import re
import struct
import subprocess
import sys
import tempfile

NAMES = [b"back\\slash \\\\", b"\\x41 is no A", b"tab\there", b"cr\rlf\nx",
         b"\r\n", b"cr\ronly", b'say "hi"', b"a,b", b"=1+1", b"+x", b"-y",
         b"@z", b"'q", b"''", b"'=", b"",
         b"zw\xe2\x80\x8bj\xef\xbb\xbf\xc2\xad\xe2\x80\xae",
         b"bad \xc3 \xff\xfe\xed\xa0\x80", b"\x1b[31m\x7f\x01\xc2\x85",
         "\u201cAnn\u201d \u65e5\u672c \U0001F600 e\u0301".encode(),
         b"x" * 32, b"cut\0after NUL"]


def unescape(cell):
    """The documented inverse of a name of --csv."""
    text = cell[1:] if cell.startswith("'") else cell
    return re.sub(r"\\(\\|x([0-9A-F]{2}))",
                  lambda m: chr(int(m[2], 16)) if m[2] else "\\", text)


def dump(empdump, folder, *options):
    out = subprocess.run([os.path.abspath(empdump), *options], cwd=folder,
                         capture_output=True, timeout=30, check=True).stdout
    if "--raw" not in options:
        out.decode("utf-8")  # escaped: no byte that is not UTF-8
    # latin-1 maps each byte to one character and back.
    return list(csv.reader(io.StringIO(out.decode("latin-1"), newline="")))


def main():
    with tempfile.TemporaryDirectory() as folder:
        with open(folder + "/employee.dat", "wb") as f:
            for i, name in enumerate(NAMES):
                f.write(struct.pack("<ii32siiiii", i, (0, 1, -2)[i % 3], name,
                                    (0, 1, -1, -3)[i % 4], 7, -1, 1, 1))
        guarded = dump(sys.argv[1], folder, "--csv")
        raw = dump(sys.argv[1], folder, "--csv", "--raw")
    failures = 0
    for name, cells, exact in zip(NAMES, guarded[1:], raw[1:]):
        name = name.split(b"\0")[0].decode("latin-1")
        back = [unescape(c) if k == 3 else c[1:] if c[:1] == "'" else c
                for k, c in enumerate(cells)]
        if back[3] != name or exact[3] != name or back != exact:
            print(f"not read back: {name!r}: {cells} / {exact}")
            failures += 1
    rows = len(NAMES) + 1
    return 1 if failures or len(guarded) != rows or len(raw) != rows else 0


if __name__ == "__main__":
    sys.exit(main())
