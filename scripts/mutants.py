#!/usr/bin/env python3
"""Mutation testing: makes one small change at a time in the given source
files, rebuilds, runs the test suite, and lists the changes no test caught.

The changes are the one-operator swaps (== and !=, < and <=, > and >=,
&& and ||, + 1 and - 1, true and false) and deleted statement lines. Each
is made in a copy of the tree (a git worktree of HEAD with the working
tree's changes of the named files), so the tree you work in is never
touched.

Usage: scripts/mutants.py [--sample N] [--seed S] [--sanitize] [--list] FILE...
  --sample N  test N mutants drawn at random (default: all)
  --sanitize  try each mutant the optimised build's tests don't kill again
              in the asan build (AddressSanitizer and UndefinedBehavior-
              Sanitizer), so that one that only reads or writes out of
              bounds is killed too; only survivors pay for the second build
  --list      print the mutants and stop
Prints one line per mutant: "killed" (", under the sanitizers" when only
the asan build's tests caught it), "SURVIVED" or "did not build" (a change
the compiler refuses says nothing of the tests, so it is counted apart),
then a summary line whose percentage killed is of the mutants that built.
A test run that outlives its timeout (a mutant that loops) is killed.
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile

SWAPS = [
    (r"==", "!="), (r"!=", "=="),
    (r"<=", "<"), (r">=", ">"),
    (r"(?<![<>=!-])<(?![<=])", "<="), (r"(?<![<>=!-])>(?![>=])", ">="),
    (r"&&", "||"), (r"\|\|", "&&"),
    (r"\+ 1\b", "- 1"), (r"- 1\b", "+ 1"),
    (r"\btrue\b", "false"), (r"\bfalse\b", "true"),
]
# Lines whose < or > are not comparisons.
NOT_COMPARISONS = re.compile(
    r"#include|template|static_cast|reinterpret_cast|const_cast|"
    r"unique_ptr|make_unique|std::\w+<|Array<|->|<<|>>|operator")
DELETABLE = re.compile(r"^\s+[^\s/#}{][^;]*;\s*(//.*)?$")
NOT_DELETABLE = re.compile(
    r"^\s*(return|break|continue|case|default|using|static|constexpr|const|"
    r"struct|class|enum|public|private|protected|namespace|typedef)\b|"
    r"^\s*[\w:<>,\s*&]+\s+\w+(\[[^]]*\])?\s*(=[^=].*)?;\s*$")


# What may hold an operator that is none: string and character literals and
# comments. One pattern, so that the leftmost wins: the " in '"' opens no
# string, and the // in "http://" opens no comment.
NOT_CODE = re.compile(r'"(\\.|[^"\\])*"|\'(\\.|[^\'\\])+\'|/\*.*?\*/|//.*')


def masked(line):
    """The line with what is not code blanked out, each blank as long as what
    it hides, so that a column found in it is the same column of the line."""
    return NOT_CODE.sub(lambda m: " " * len(m.group(0)), line)


def mutants(path):
    with open(path) as f:
        lines = f.read().split("\n")
    in_comment = False
    for i, line in enumerate(lines):
        stripped = line.strip()
        if in_comment:
            in_comment = "*/" not in stripped
            continue
        if stripped.startswith("/*"):
            in_comment = "*/" not in stripped
            continue
        if stripped.startswith(("//", "#")) or not stripped:
            continue
        code = masked(line)
        for pattern, repl in SWAPS:
            if pattern.startswith("(?<![<>=!-])") and NOT_COMPARISONS.search(
                    code):
                continue
            for m in re.finditer(pattern, code):
                mutated = line[:m.start()] + repl + line[m.end():]
                yield (path, i + 1,
                       f"col {m.start() + 1}: {m.group(0)} -> {repl}", mutated)
        if DELETABLE.match(line) and not NOT_DELETABLE.match(line):
            yield (path, i + 1, "delete line", None)


def run(cmd, cwd, timeout, env=None):
    """The command's exit status, or -1 if it outlived the timeout; then it
    is killed with all it started (a test a mutant sent into a loop)."""
    child = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, env=env,
                             start_new_session=True)
    try:
        return child.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(child.pid, signal.SIGKILL)
        child.wait()
        return -1


def tests_pass(tree, preset, env, timeout):
    """Whether the preset's build succeeds and its tests pass, None if it
    does not build. Each test has the timeout; the suite ten times it."""
    if run(["cmake", "--build", "--preset", preset], tree, 1200) != 0:
        return None
    return run(["ctest", "--preset", preset, "--stop-on-failure",
                "--timeout", str(timeout)], tree, 10 * timeout, env) == 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sample", type=int, default=0)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--sanitize", action="store_true")
    ap.add_argument("--list", action="store_true")
    ap.add_argument("files", nargs="+")
    args = ap.parse_args()
    top = subprocess.check_output(["git", "rev-parse", "--show-toplevel"],
                                  text=True).strip()
    files = [os.path.relpath(os.path.abspath(f), top) for f in args.files]
    found = [m for f in files for m in mutants(os.path.join(top, f))]
    found = [(os.path.relpath(p, top), n, what, text)
             for p, n, what, text in found]
    if args.sample and args.sample < len(found):
        found = random.Random(args.seed).sample(found, args.sample)
        found.sort()
    if args.list:
        for p, n, what, _ in found:
            print(f"{p}:{n}: {what}")
        print(f"{len(found)} mutants")
        return 0

    scratch = tempfile.mkdtemp(prefix="emp-mutants-")
    # Open to all, so that the tests that run a program as nobody can.
    os.chmod(scratch, 0o755)
    # Tests that --stop-on-failure ends early leave their folders: here.
    tests_env = dict(os.environ, TMPDIR=os.path.join(scratch, "tmp"))
    os.mkdir(tests_env["TMPDIR"])
    os.chmod(tests_env["TMPDIR"], 0o1777)
    tree = os.path.join(scratch, "tree")
    subprocess.check_call(["git", "worktree", "add", "-q", "--detach", tree],
                          cwd=top)
    killed = survived = unbuilt = 0
    try:
        for f in files:
            shutil.copy(os.path.join(top, f), os.path.join(tree, f))
        # The sanitizers slow the tests down several times over.
        presets = {"default": 120, "asan": 600} if args.sanitize else {
            "default": 120}
        for preset, timeout in presets.items():
            configured = run(["cmake", "--preset", preset], tree, 600) == 0
            passed = configured and tests_pass(tree, preset, tests_env,
                                               timeout)
            if not passed:
                fault = "fails its tests" if configured and passed is False \
                    else "does not build"
                print(f"the unchanged tree {fault} ({preset})",
                      file=sys.stderr)
                return 2
        for p, n, what, text in found:
            target = os.path.join(tree, p)
            with open(target) as fh:
                original = fh.read()
            lines = original.split("\n")
            lines[n - 1] = "" if text is None else text
            with open(target, "w") as fh:
                fh.write("\n".join(lines))
            passed = tests_pass(tree, "default", tests_env, 120)
            sanitized = passed and args.sanitize and tests_pass(
                tree, "asan", tests_env, 600) is False
            with open(target, "w") as fh:
                fh.write(original)
            if passed is None:
                unbuilt += 1
                how = "did not build"
            elif not passed or sanitized:
                killed += 1
                how = "killed, under the sanitizers" if sanitized else "killed"
            else:
                survived += 1
                how = "SURVIVED"
            print(f"{p}:{n}: {what}: {how}", flush=True)
    finally:
        subprocess.call(["git", "worktree", "remove", "--force", tree],
                        cwd=top)
        shutil.rmtree(scratch, ignore_errors=True)
    tested = killed + survived
    share = f": {100 * killed / tested:.0f}% of the {tested} that built " \
        "were killed" if tested else ""
    print(f"{killed} killed, {survived} SURVIVED, {unbuilt} did not build"
          f"{share}")
    return 1 if survived else 0


if __name__ == "__main__":
    sys.exit(main())
