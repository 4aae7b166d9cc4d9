#!/bin/sh
# Compiles and runs the C example of README.md with the README's own command,
# in a scratch directory laid out like the source tree (include/, build/), so
# the example cannot drift from the library.
set -eu
source_dir=$1
build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
awk '/^```c$/ {inside = 1; next} /^```$/ && inside {exit} inside' "$source_dir/README.md" > "$work/example.c"
command=$(awk '/^cc -std=c99/ {print; exit}' "$source_dir/README.md")
ln -s "$source_dir/include" "$work/include"
ln -s "$build_dir" "$work/build"
cd "$work"
sh -c "$command" > out.txt
cat out.txt
grep -q '^71^1 839^1 1471^1 6857^1 (kelvra 0.8.2)$' out.txt
