#!/bin/sh
# Installs the Python binding with pip into a scratch virtual environment (no
# network: Debian's setuptools, no build isolation) and runs the README's
# Python example with it, once finding the library through KELVRA_LIBRARY and
# once from a copy placed next to the installed package.
set -eu
source_dir=$1
library=$2
python=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp -r "$source_dir/python" "$work/python"   # pip builds in the tree it is given
"$python" -m venv --system-site-packages "$work/venv"
(cd "$work" && "$work/venv/bin/pip" install --quiet --no-build-isolation --no-index --no-deps ./python) \
  > "$work/pip.log" 2>&1 || { cat "$work/pip.log"; exit 1; }

awk '/^```python$/ {inside = 1; next} /^```$/ && inside {exit} inside' "$source_dir/README.md" > "$work/example.py"
expected='[(71, 1), (839, 1), (1471, 1), (6857, 1)]'
cd "$work"   # away from the source tree, so the installed package is the one imported
KELVRA_LIBRARY=$library "$work/venv/bin/python" example.py > out.txt
grep -qF "$expected" out.txt || { cat out.txt; exit 1; }
echo "with KELVRA_LIBRARY: $(head -1 out.txt)"

package=$("$work/venv/bin/python" -c 'import importlib.util, os; print(os.path.dirname(importlib.util.find_spec("kelvra").origin))')
cp "$library" "$package/libkelvra.so.3"
env -u KELVRA_LIBRARY "$work/venv/bin/python" example.py > out.txt
grep -qF "$expected" out.txt || { cat out.txt; exit 1; }
echo "next to the package: $(head -1 out.txt)"
