#!/usr/bin/env bash
# Installs the library into a temporary prefix and builds a tiny outside consumer against
# it twice: with find_package(QelShare) and with pkg-config. Both must run, and the first
# also writes, indexes, searches and reads a library through the search API.
set -euo pipefail
build=${1:-build/release}
src=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null

cmake -S "$src/tests/install" -B "$tmp/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$tmp/prefix" >/dev/null
cmake --build "$tmp/cmake" >/dev/null
out=$("$tmp/cmake/consumer")
[ "$out" = "consumer: 2 pieces, library 1.0.0" ] || { echo "cmake consumer printed: $out"; exit 1; }
# The search API: a library written, indexed, searched and read back through the installed
# library alone.
mkdir "$tmp/lib"
out=$("$tmp/cmake/consumer" "$tmp/lib")
expected=$'consumer: 2 pieces, library 1.0.0\nconsumer: found record 1, \'moon\' at 11, indexed 1'
[ "$out" = "$expected" ] || { echo "cmake consumer printed: $out"; exit 1; }
[ -f "$tmp/lib/notes.qix" ] || { echo "no index written"; exit 1; }

libdir=$(ls -d "$tmp/prefix"/lib*/pkgconfig | head -1)
export PKG_CONFIG_PATH="$libdir"
c++ -o "$tmp/pc-consumer" "$src/tests/install/consumer.cpp" $(pkg-config --cflags --libs qelshare) \
  -Wl,-rpath,"$(pkg-config --variable=libdir qelshare)"
out=$("$tmp/pc-consumer")
[ "$out" = "consumer: 2 pieces, library 1.0.0" ] || { echo "pkg-config consumer printed: $out"; exit 1; }
echo "install: cmake and pkg-config consumers: 2 passed, 0 failed"
