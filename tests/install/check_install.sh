#!/bin/sh
# Installs the build in BUILD_DIR into a scratch prefix (with `cmake --install`,
# or with MODE "deb" from the Debian packages `cpack -G DEB` makes, unpacked
# into a scratch root) and builds a user's program against it the ways
# README.md shows (its CMake snippet and its pkg-config command), in C and in
# C++, and runs each one.
set -eu
source_dir=$1
build_dir=$2
mode=${3:-install}
here=$source_dir/tests/install
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ "$mode" = deb ]; then
  (cd "$build_dir" && cpack -G DEB -B "$work/debs" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
  version=$(awk '/^project\(kelvra VERSION/ {print $3}' "$source_dir/CMakeLists.txt")
  for package in libkelvra3 libkelvra-dev kelvra-tools; do
    deb=$(ls "$work/debs/${package}_${version}_"*.deb)
    depends=$(dpkg-deb -f "$deb" Depends)
    case $package in
      libkelvra3) expected='libc6 (>= *), libstdc++6 (>= *)' ;;
      *) expected="libkelvra3 (= $version)" ;;
    esac
    case $depends in $expected) ;; *) echo "$package depends on '$depends'"; exit 1 ;; esac
    echo "$package $version: depends on $depends"
    dpkg-deb -x "$deb" "$work/root"
  done
  prefix=$work/root/usr
else
  prefix=$work/prefix
  cmake --install "$build_dir" --prefix "$prefix" > "$work/install.log"
fi

expect_runs() { # program
  "$1" > "$work/out.txt"
  grep -q '^kelvra [0-9.]*: 360 = 2^3 3^2 5^1$' "$work/out.txt" || { cat "$work/out.txt"; exit 1; }
  echo "$1: $(cat "$work/out.txt")"
}

# The README's CMake lines, after a project of the user's own.
snippet=$(awk '/^```cmake$/ {inside = 1; next} /^```$/ && inside {exit} inside' "$source_dir/README.md")
for language in c cpp; do
  project=$work/cmake-$language
  mkdir -p "$project"
  cp "$here/consumer.$language" "$project/example.$language"
  printf 'cmake_minimum_required(VERSION 3.25)\nproject(example C CXX)\nadd_executable(your_program example.%s)\n%s\n' \
    "$language" "$snippet" > "$project/CMakeLists.txt"
  cmake -S "$project" -B "$project/build" -DCMAKE_PREFIX_PATH="$prefix" > "$work/configure.log" ||
    { cat "$work/configure.log"; exit 1; }
  cmake --build "$project/build" > "$work/build.log" || { cat "$work/build.log"; exit 1; }
  expect_runs "$project/build/your_program"
done

# The README's pkg-config commands, with the scratch prefix's pkgconfig folder.
pc_dir=$(dirname "$(find "$prefix" -name kelvra.pc)")
lib_dir=$(dirname "$pc_dir")
for language in c cpp; do
  project=$work/pkg-config-$language
  mkdir -p "$project"
  cp "$here/consumer.$language" "$project/example.$language"
  command=$(awk -v lang="$language" '/^```sh$/ {inside = 1; next} /^```$/ {inside = 0}
    inside && /pkg-config --cflags --libs kelvra/ && (lang == "c" ? /example\.c / : /example\.cpp /) {print; exit}' \
    "$source_dir/README.md")
  [ -n "$command" ] || { echo "README.md has no pkg-config command for example.$language"; exit 1; }
  (cd "$project" && PKG_CONFIG_PATH="$pc_dir" sh -c "$command")
  (export LD_LIBRARY_PATH="$lib_dir"; expect_runs "$project/example")
done

# The installed tool finds the installed library by itself.
"$prefix/bin/kelvra" version > "$work/out.txt" || { cat "$work/out.txt"; exit 1; }
echo "installed tool: $(head -1 "$work/out.txt")"
