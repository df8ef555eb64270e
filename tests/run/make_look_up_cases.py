#!/usr/bin/env python3
# Writes the run cases look-up-ascending and look-up-unordered (the
# folders beside this script): a file of about a thousand employees, every
# one of them changed once in random order, then an add, a change of the
# added employee and a delete of an absent number, which stops the run.
#
# - look-up-ascending: numbers that ascend, with gaps, negatives and both
#   limits, so the run searches its index; the add gives 2147483647, after
#   2147483646, and keeps the order.
# - look-up-unordered: the same numbers shuffled, with one of them repeated
#   at the end, so the run needs its look-up table; a change must reach the
#   first record that holds a number, and the repeat stays as it was.
#
# employee.after is computed here, not by the program under test: each
# change sets only the amount, of the first record holding its number.
#
# Regenerate (stdlib only; the random draws are Python's, fixed by the
# seeds below, so the output is the same on every machine, and `git diff`
# shows what a change to this script changed):
#
#     python3 tests/run/make_look_up_cases.py

import random
from pathlib import Path

INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
SHUFFLE_SEED = 3  # the order of the unordered file
CHANGE_SEED = 5   # the order of the changes


def ascending_ids():
    ids, n = [INT32_MIN, -5, -1, 0, 3, 10, 11], 100
    while n < 5000:  # gaps of 1 to 7
        ids.append(n)
        n += 1 + n % 7
    return ids + [1000000, INT32_MAX - 1]


# The files of one case folder by name.
def case(ids, comment, absent):
    order = list(ids)
    random.Random(CHANGE_SEED).shuffle(order)
    # Each change sets the amount to its place in the shuffled list; a
    # repeated number is changed at its first place only.
    first = {}
    for k, n in enumerate(order, 1):
        first.setdefault(n, k)
    assert absent not in first and max(ids) + 1 == INT32_MAX
    before = [[n, "e", 0] for n in ids]  # id, name, amount
    after = [list(r) for r in before] + [[INT32_MAX, "new", 1]]
    for n, amount in [*first.items(), (INT32_MAX, 7)]:
        next(r for r in after if r[0] == n)[2] = amount
    trans = "".join(f'C {n} "" * {k} 1901/1/1\n' for n, k in first.items())
    trans += f'A "new" S 1 2000/1/1\nC {INT32_MAX} "" * 7 1901/1/1\nD {absent}\n'
    text = lambda rs: "".join(f'{n} 0 "{s}" 0 {a} 2000/1/1\n' for n, s, a in rs)
    return {
        "case.txt": "status 0\nstderr \\nTransaction found for invalid "
                    f"employee: {absent}\n",
        "employee.before": comment + text(before),
        "emptrans.dat": trans,
        "employee.after": text(after),
    }


def cases():
    ascending = ascending_ids()
    unordered = list(ascending)
    random.Random(SHUFFLE_SEED).shuffle(unordered)
    unordered.append(unordered[5])
    return {
        "look-up-ascending": case(ascending, """\
# Numbers that ascend, with gaps, negatives and both limits: each is
# changed (in random order), the add gives 2147483647 after
# 2147483646, and 4999, within the range but absent, stops the run
""", 4999),
        "look-up-unordered": case(unordered, """\
# The numbers of look-up-ascending shuffled, one of them repeated: a
# change reaches the first record holding it; the add gives 2147483647,
# and 12, absent, stops the run
""", 12),
    }


def main():
    for folder, files in cases().items():
        for name, text in files.items():
            path = Path(__file__).resolve().parent / "cases" / folder / name
            path.parent.mkdir(exist_ok=True)
            path.write_text(text)


if __name__ == "__main__":
    main()
