#!/bin/sh
# Builds the Debian package into a scratch folder and checks what it holds:
# the three programs, their man pages compressed, the licence, and its
# name and dependencies. Skipped (status 77) where dpkg-deb is missing.
# Usage: package_test.sh CPACK BUILD_DIR
set -eu
command -v dpkg-deb >/dev/null 2>&1 || { echo "no dpkg-deb"; exit 77; }
out=$(mktemp -d "${TMPDIR:-/tmp}/emp-package-XXXXXX")
trap 'rm -rf "$out"' EXIT
cd "$out"
timeout 150 "$1" -G DEB -B "$out" --config "$2/CPackConfig.cmake" >log 2>&1 ||
  { cat log; exit 1; }
deb=$(echo "$out"/*.deb)
dpkg-deb -c "$deb" | awk '{ print $6 }' >listing
status=0
for f in bin/empupdate bin/empdump bin/empcheck share/man/man1/empupdate.1.gz \
         share/man/man1/empdump.1.gz share/man/man1/empcheck.1.gz \
         share/doc/empupdate/copyright; do
  grep -qx "./usr/$f" listing || { echo "missing: /usr/$f"; status=1; }
done
[ "$(dpkg-deb -f "$deb" Package)" = empupdate ] || { echo "wrong name"; status=1; }
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || { echo "no libc6 dependency"; status=1; }
[ $status -ne 0 ] || echo "package ok: $(basename "$deb")"
exit $status
