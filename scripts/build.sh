#!/bin/sh
# Does all the set-up a fresh Debian machine needs (run as root), quietly
# when everything is there, then builds and either runs the bundled
# example or runs every test.
# Usage: sh scripts/build.sh example | test
set -eu
cd "$(dirname "$0")/.."
case "${1:-}" in
  example | test) ;;
  *)
    echo "Usage: sh scripts/build.sh example | test" >&2
    exit 2
    ;;
esac
missing=
for package in cmake g++ make libgtest-dev groff-base python3; do
  dpkg-query -W -f '${Status}' "$package" 2>/dev/null |
    grep -q 'install ok installed' || missing="$missing $package"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086 # one word a package
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
if [ "$1" = example ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target example
else
  cmake --workflow --preset default
fi
