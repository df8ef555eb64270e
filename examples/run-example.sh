#!/bin/sh
# Runs empupdate on a scratch copy of the example batch and shows the
# records it leaves. Usage: run-example.sh EMPUPDATE EMPDUMP SCRATCH_DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
empupdate=$1
empdump=$2
scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch"
cp "$here/emptrans.dat" "$scratch/"
cd "$scratch"
status=0
"$empupdate" || status=$?
echo "empupdate exited with status $status in $scratch"
"$empdump"
