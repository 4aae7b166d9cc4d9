#!/usr/bin/env bash
# Checks the aarch64 Linux cross build in BUILD_DIR: libkelvra.so is an AArch64
# shared object exporting exactly the functions the public header declares,
# the tool's tour runs under qemu-user, and so does the whole test suite
# (CTest starts every program through the emulator; the tests start the tool
# and their own child processes through it too).
set -euo pipefail
build=${1:?usage: check_aarch64_build.sh BUILD_DIR}
here=$(cd "$(dirname "$0")/.." && pwd)
emulator=(qemu-aarch64 -L /usr/aarch64-linux-gnu)

machine=$(aarch64-linux-gnu-readelf -h "$build/libkelvra.so" | awk -F: '/Machine:/ {gsub(/^ +/, "", $2); print $2}')
if [ "$machine" != "AArch64" ]; then
  echo "libkelvra.so is built for '$machine', not AArch64"
  exit 1
fi

exports=$(aarch64-linux-gnu-nm -D --defined-only "$build/libkelvra.so" | awk '{print $NF}' | sort)
declared=$(grep -o 'kelvra_[a-z0-9_]*(' "$here/include/kelvra.h" | tr -d '(' | grep -v '_fn$' | sort -u)
if [ "$exports" != "$declared" ]; then
  echo "libkelvra.so exports differ from kelvra.h:"
  diff <(echo "$declared") <(echo "$exports") || true
  exit 1
fi
echo "libkelvra.so (AArch64) exports the $(echo "$exports" | wc -l) functions of kelvra.h and nothing else"

(cd "$build" && timeout 300 "${emulator[@]}" ./kelvra demo >/dev/null)
echo "kelvra demo runs under qemu-aarch64"
if [ -f "$build/CTestTestfile.cmake" ]; then
  (cd "$build" && ctest --output-on-failure --parallel 2 --timeout 900)
fi
