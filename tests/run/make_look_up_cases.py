#!/usr/bin/env python3
"""Writes the run cases look-up-ascending and look-up-unordered (the
folders beside this script): a file of about a thousand employees, every
one of them changed once in random order, then an add, a change of the
added employee and a delete of an absent number, which stops the run.

- look-up-ascending: numbers that ascend, with gaps, negatives and both
  limits, so the run searches its index; the add gives 2147483647, after
  2147483646, and keeps the order.
- look-up-unordered: the same numbers shuffled, with one of them repeated
  at the end, so the run needs its look-up table; a change must reach the
  first record that holds a number, and the repeat stays as it was.

employee.after is computed here by a model of the run that works on the
60-byte records themselves, not by the program under test.

Regenerate (stdlib only; the random draws are Python's, fixed by the
seeds below, so the output is the same on every machine):

    python3 tests/run/make_look_up_cases.py
    python3 tests/run/make_look_up_cases.py --check      # compare only
    python3 tests/run/make_look_up_cases.py --check \\
        --empupdate build/default/src/run/empupdate    # and run the program

--empupdate runs the real program on each case in a scratch folder and
compares the employee.dat and standard error it leaves with the model's.
"""
import argparse
import os
import random
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
RECORD = struct.Struct("<ii32siiiii")  # id, deleted, name, category, amount,
assert RECORD.size == 60               # year, month, day
SHUFFLE_SEED = 3  # the order of the unordered file
CHANGE_SEED = 5   # the order of the changes
KEEP = -1         # '*': a change leaves the category as it is


def ascending_ids():
    ids = [INT32_MIN, -5, -1, 0, 3, 10, 11]
    n = 100
    while n < 5000:  # gaps of 1 to 7
        ids.append(n)
        n += 1 + n % 7
    return ids + [1000000, INT32_MAX - 1]


# Transactions: ("A", name, category, amount, (y, m, d)),
# ("C", id, name, category, amount, (y, m, d)) or ("D", id).
def transaction_text(t):
    letters = {0: "S", 1: "H", KEEP: "*"}
    if t[0] == "A":
        _, name, cat, amount, d = t
        return f'A "{name}" {letters[cat]} {amount} {"%d/%d/%d" % d}'
    if t[0] == "C":
        _, n, name, cat, amount, d = t
        return f'C {n} "{name}" {letters[cat]} {amount} {"%d/%d/%d" % d}'
    return f"D {t[1]}"


def record(n, name, category=0, amount=0, date=(2000, 1, 1), deleted=0):
    return bytearray(RECORD.pack(n, deleted, name.encode(), category, amount,
                                 *date))


def apply(records, transactions):
    """The run's effect on a list of 60-byte records: returns the records
    and the employee number it stopped at (None when all applied)."""
    records = [bytearray(r) for r in records]
    for t in transactions:
        if t[0] == "A":
            _, name, category, amount, date = t
            highest = max(RECORD.unpack(r)[0] for r in records)
            assert highest < INT32_MAX, "no number is left for an add"
            records.append(record(highest + 1, name, category, amount, date))
            continue
        n = t[1]
        at = next((r for r in records if RECORD.unpack(r)[0] == n), None)
        if at is None:
            return records, n
        fields = list(RECORD.unpack(at))
        if t[0] == "D":
            fields[1] = 1
        else:
            _, _, name, category, amount, date = t
            if name:  # a shorter name leaves the old one's tail after a NUL
                raw = name.encode() + b"\0"
                fields[2] = raw + fields[2][len(raw):]
            if category != KEEP:
                fields[3] = category
            if amount != 0:
                fields[4] = amount
            if date[0] != 1901:
                fields[5:8] = date
        at[:] = RECORD.pack(*fields)
    return records, None


def record_text(r):
    """A record as a line of tests/support/RecordText.h."""
    n, deleted, name, category, amount, y, m, d = RECORD.unpack(r)
    shown = ""
    for b in name.rstrip(b"\0"):
        c = chr(b)
        shown += ("\\0" if b == 0 else "\\" + c if c in '\\"' else c
                  if 0x20 <= b < 0x7F else "\\x%02X" % b)
    return f'{n} {deleted} "{shown}" {category} {amount} {y}/{m}/{d}\n'


def case(ids, comment, absent):
    """The files of one case folder, by name."""
    changed = list(ids)
    random.Random(CHANGE_SEED).shuffle(changed)
    # Each change sets the amount to its place in the shuffled list; a
    # repeated number is changed at its first place only.
    first = {}
    for k, n in enumerate(changed, 1):
        first.setdefault(n, k)
    transactions = [("C", n, "", KEEP, k, (1901, 1, 1))
                    for n, k in first.items()]
    transactions += [("A", "new", 0, 1, (2000, 1, 1)),
                     ("C", INT32_MAX, "", KEEP, 7, (1901, 1, 1)),
                     ("D", absent)]
    before = [record(n, "e") for n in ids]
    after, stop = apply(before, transactions)
    assert stop == absent
    return {
        "case.txt": "status 0\n"
                    f"stderr \\nTransaction found for invalid employee: "
                    f"{absent}\n",
        "employee.before": "".join("# " + line + "\n" for line in comment)
                           + "".join(map(record_text, before)),
        "emptrans.dat": "".join(transaction_text(t) + "\n"
                                for t in transactions),
        "employee.after": "".join(map(record_text, after)),
    }, b"".join(before), b"".join(after)


def cases():
    ascending = ascending_ids()
    unordered = list(ascending)
    random.Random(SHUFFLE_SEED).shuffle(unordered)
    unordered.append(unordered[5])
    return {
        "look-up-ascending": case(ascending, [
            "Numbers that ascend, with gaps, negatives and both limits: each is",
            "changed (in random order), the add gives 2147483647 after",
            "2147483646, and 4999, within the range but absent, stops the run",
        ], 4999),
        "look-up-unordered": case(unordered, [
            "The numbers of look-up-ascending shuffled, one of them repeated: a",
            "change reaches the first record holding it; the add gives 2147483647,",
            "and 12, absent, stops the run",
        ], 12),
    }


def run_program(empupdate, files, before, after):
    """Runs the real program on the case; returns what differs, or ''."""
    with tempfile.TemporaryDirectory(prefix="emp-look-up-") as scratch:
        with open(os.path.join(scratch, "employee.dat"), "wb") as f:
            f.write(before)
        with open(os.path.join(scratch, "emptrans.dat"), "w") as f:
            f.write(files["emptrans.dat"])
        done = subprocess.run([os.path.abspath(empupdate)], cwd=scratch,
                              capture_output=True, timeout=60)
        with open(os.path.join(scratch, "employee.dat"), "rb") as f:
            left = f.read()
    err = files["case.txt"].split("stderr ", 1)[1].rstrip("\n")
    err = err.replace("\\n", "\n").encode()
    if done.returncode != 0 or done.stderr != err:
        return f"status {done.returncode}, stderr {done.stderr!r}"
    if left != after:
        return "employee.dat differs from the model's"
    return ""


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--check", action="store_true",
                    help="compare with the folders instead of writing them")
    ap.add_argument("--empupdate", metavar="PATH",
                    help="also run this program on each case")
    args = ap.parse_args()
    bad = 0
    for folder, (files, before, after) in cases().items():
        for name, text in files.items():
            path = os.path.join(HERE, "cases", folder, name)
            if args.check:
                with open(path) as f:
                    if f.read() != text:
                        print(f"{folder}/{name}: differs", file=sys.stderr)
                        bad = 1
            else:
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w") as f:
                    f.write(text)
        if args.empupdate:
            wrong = run_program(args.empupdate, files, before, after)
            print(f"{folder}: empupdate {wrong or 'agrees with the model'}",
                  file=sys.stderr if wrong else sys.stdout)
            bad |= bool(wrong)
    return bad


if __name__ == "__main__":
    sys.exit(main())
