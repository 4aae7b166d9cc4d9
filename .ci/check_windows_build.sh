#!/usr/bin/env bash
# Checks the Windows build in BUILD_DIR: kelvra.dll exports exactly the
# functions the public header declares, it and kelvra.exe import nothing but
# system DLLs (the runtime is linked in), the tool's tour and the tests built
# for Windows run under Wine.
set -euo pipefail
build=${1:?usage: check_windows_build.sh BUILD_DIR}
here=$(cd "$(dirname "$0")/.." && pwd)
objdump=x86_64-w64-mingw32-objdump

exports=$($objdump -p "$build/kelvra.dll" |
  awk '/\[Ordinal\/Name Pointer\] Table/ {table = 1; next} table && /^\t\[/ {print $NF} table && !/^\t\[/ {table = 0}' | sort)
declared=$(grep -o 'kelvra_[a-z0-9_]*(' "$here/include/kelvra.h" | tr -d '(' | grep -v '_fn$' | sort -u)
if [ "$exports" != "$declared" ]; then
  echo "kelvra.dll exports differ from kelvra.h:"
  diff <(echo "$declared") <(echo "$exports") || true
  exit 1
fi
echo "kelvra.dll exports the $(echo "$exports" | wc -l) functions of kelvra.h and nothing else"

for file in kelvra.dll kelvra.exe; do
  foreign=$($objdump -p "$build/$file" | awk '/DLL Name:/ {print $3}' |
    grep -viE '^(kernel32|advapi32|msvcrt|ucrtbase|api-ms-win-.*|kelvra)\.dll$' || true)
  if [ -n "$foreign" ]; then
    echo "$file imports non-system DLLs: $foreign"
    exit 1
  fi
done
echo "kelvra.dll and kelvra.exe import only system DLLs"

# An installed copy holds what a Windows user builds against.
prefix=$(mktemp -d)
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/kelvra.dll bin/kelvra.exe lib/kelvra.dll.a include/kelvra.h lib/cmake/kelvra/kelvraConfig.cmake \
            lib/cmake/kelvra/kelvraTargets.cmake lib/pkgconfig/kelvra.pc; do
  [ -f "$prefix/$file" ] || { echo "cmake --install did not put $file into the prefix"; exit 1; }
done
rm -rf "$prefix"
echo "cmake --install gives kelvra.dll, its import library, the header and the CMake package"

# The library computes its elementary functions and square roots itself, so
# its results cannot depend on the C runtime: no mathematics function among its
# imports, no square-root instruction in its code (the static runtime included).
math_imports=$($objdump -p "$build/kelvra.dll" | awk '/DLL Name:/ {dll = $3} /^\t[0-9a-f]+\t +[0-9]+ +/ {print dll, $NF}' |
  grep -E ' (exp|exp2|expm1|log|log2|log10|log1p|sin|cos|tan|sincos|asin|acos|atan|atan2|sinh|cosh|tanh|sqrt|cbrt|hypot|pow|exp10)[fl]?$' || true)
if [ -n "$math_imports" ]; then
  echo "kelvra.dll imports mathematics functions: $math_imports"
  exit 1
fi
if $objdump -d --no-show-raw-insn "$build/kelvra.dll" | grep -qP '\t(v?r?sqrt|fsqrt)'; then
  echo "kelvra.dll contains a square-root instruction"
  exit 1
fi
echo "kelvra.dll imports no mathematics function and has no square-root instruction"

export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$HOME/.wine-kelvra}"
# Nothing of Wine may outlive the check: stop its server and wait for it.
stop_wine() {
  wineserver -k 2>/dev/null || true
  for _ in $(seq 50); do pgrep -f 'wineserver|winedevice|wine64' >/dev/null || return 0; sleep 0.1; done
}
trap stop_wine EXIT
(cd "$build" && timeout 300 wine kelvra.exe demo >/dev/null)
echo "kelvra.exe demo runs under Wine"
if [ -f "$build/CTestTestfile.cmake" ]; then
  (cd "$build" && ctest --output-on-failure --timeout 900)
fi
