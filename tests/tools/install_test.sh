#!/bin/sh
# Installs the build and checks that the four programs, their man pages
# compressed and the licence landed. Usage:
#   install_test.sh destdir CMAKE BUILD_DIR STAGING_DIR
#     through DESTDIR, under /opt/emp and nothing outside it; the installed
#     empdump runs
#   install_test.sh deb CPACK BUILD_DIR
#     as the Debian package, built in a scratch folder, under /usr, with its
#     name and dependencies, its programs run as unpacked; skipped (status
#     77) where dpkg-deb is missing
set -eu
if [ "$1" = destdir ]; then
  rm -rf "$4"
  DESTDIR=$4 "$2" --install "$3" --prefix /opt/emp >/dev/null
  [ ! -e /opt/emp ] || { echo "installed outside DESTDIR"; exit 1; }
  "$4/opt/emp/bin/empdump" --version
  listing=$(cd "$4/opt/emp" && find . -type f)
else
  command -v dpkg-deb >/dev/null 2>&1 || { echo "no dpkg-deb"; exit 77; }
  out=$(mktemp -d "${TMPDIR:-/tmp}/emp-package-XXXXXX")
  trap 'rm -rf "$out"' EXIT
  cd "$out"
  timeout 150 "$2" -G DEB -B "$out" --config "$3/CPackConfig.cmake" >log 2>&1 ||
    { cat log; exit 1; }
  deb=$(echo "$out"/*.deb)
  [ "$(dpkg-deb -f "$deb" Package)" = empupdate ] || { echo "wrong name"; exit 1; }
  dpkg-deb -f "$deb" Depends | grep -q libc6 || { echo "no libc6 dependency"; exit 1; }
  dpkg-deb -x "$deb" root
  for p in empupdate empdump empcheck empdiff empundo; do timeout 10 "root/usr/bin/$p" --version >/dev/null ||
    { echo "$p does not run"; exit 1; }; done
  listing=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | sed -n 's|^\./usr/|./|p')
fi
for f in bin/empupdate bin/empdump bin/empcheck bin/empdiff bin/empundo \
         share/man/man1/empupdate.1.gz share/man/man1/empdump.1.gz \
         share/man/man1/empcheck.1.gz share/man/man1/empdiff.1.gz \
         share/man/man1/empundo.1.gz \
         share/doc/empupdate/copyright; do
  echo "$listing" | grep -qx "\./$f" || { echo "missing: $f"; exit 1; }
done
echo "$1 ok"
