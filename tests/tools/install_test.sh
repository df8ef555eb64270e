#!/bin/sh
# Usage: install_test.sh CMAKE BUILD_DIR STAGING_DIR
set -eu
cmake=$1
build=$2
staging=$3
rm -rf "$staging"
DESTDIR=$staging "$cmake" --install "$build" --prefix /opt/emp >/dev/null
for f in bin/empupdate bin/empdump bin/empcheck share/man/man1/empupdate.1.gz \
         share/man/man1/empdump.1.gz share/man/man1/empcheck.1.gz \
         share/doc/empupdate/copyright; do
  [ -f "$staging/opt/emp/$f" ] || { echo "missing: $f"; exit 1; }
done
[ ! -e /opt/emp ] || { echo "installed outside DESTDIR"; exit 1; }
"$staging/opt/emp/bin/empdump" --version
echo "install ok"
