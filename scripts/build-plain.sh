#!/usr/bin/env bash
# Builds the library and qel the way a packager does: a plain Release configure, no
# presets, so warnings are not errors, once with the system compiler and once with
# clang. The build must succeed; the tests run in the preset builds.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
jobs=${1:-$(nproc)}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
for compiler in system clang; do
  build="$src/build/plain-$compiler"
  chosen=()
  [ "$compiler" = clang ] && chosen=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
  # When ccache leaves -Werror out of its key (the Makefile asks it to), the release
  # preset's objects serve the GCC build here, and an object this build compiled with
  # warnings would serve a later -Werror build as if it were clean: so it only reads.
  cache_env=()
  generator=()
  if [ "$compiler" = system ] && [[ " ${CCACHE_IGNOREOPTIONS:-} " == *" -Werror "* ]]; then
    cache_env=(CCACHE_READONLY=1)
    # Ninja compiles every object from the top of the build tree, as the preset does, so
    # the paths ccache sees match the preset's (make compiles tools/ from its own folder).
    # The clang build keeps the default generator, so both generators stay covered.
    generator=(-G Ninja)
  fi
  echo "plain: Release with the $compiler compiler"
  # A tree configured earlier with the other generator cannot be reconfigured in place.
  if [ -f "$build/CMakeCache.txt" ] && [ ${#generator[@]} -gt 0 ] &&
    ! grep -q "^CMAKE_GENERATOR:INTERNAL=${generator[1]}\$" "$build/CMakeCache.txt"; then
    rm -rf "$build"
  fi
  cmake -S "$src" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DQELSHARE_TESTS=OFF \
    -DQELSHARE_BENCH=OFF "${chosen[@]}" "${launcher[@]}" >/dev/null
  env "${cache_env[@]}" cmake --build "$build" -j "$jobs" >"$build/build.log" 2>&1 || {
    tail -60 "$build/build.log"
    echo "plain: Release with the $compiler compiler FAILED"
    exit 1
  }
  echo "plain: built, $(grep -c 'warning:' "$build/build.log" || true) warnings"
done
