#!/bin/sh
# Each man page renders at 80 columns with no warning, no line wider than
# 80 and no hyphenated line end. Usage: man_test.sh PAGE...
set -eu
status=0
for page in "$@"; do
  out=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -rLL=80n -ww -P-cbou "$page" 2>&1 >/dev/null) || true
  [ -z "$out" ] || { echo "$page: $out"; status=1; }
  LC_ALL=C.UTF-8 groff -man -Tutf8 -rLL=80n -P-cbou "$page" 2>/dev/null |
    awk -v p="$page" 'length > 80 || /[[:alpha:]](-|‐)$/ { print p ": " $0; bad = 1 } END { exit bad }' ||
    status=1
done
exit $status
