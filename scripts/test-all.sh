#!/usr/bin/env bash
# Builds and runs every test: the unit tests (plain, under ASan+UBSan and under TSan), a consumer
# built against the installed package (pkg-config and find_package), and a short run of every
# fuzz target. Run from anywhere; exits non-zero at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
fuzz_seconds=${QP_FUZZ_SECONDS:-20}

step() { printf '\n==== %s\n' "$*"; }

step "unit tests"
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default

step "install and consumer builds"
rm -rf build/install
cmake --install build/default >/dev/null
export PKG_CONFIG_PATH="$root/build/install/lib/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
mkdir -p build/consumer
# shellcheck disable=SC2046
g++ -Wall -Wextra -o build/consumer/consumer-pc tests/consumer/consumer.cpp \
  $(pkg-config --cflags --libs QpUtils)
LD_LIBRARY_PATH="$root/build/install/lib" build/consumer/consumer-pc
cmake -S tests/consumer -B build/consumer/cmake -G Ninja \
  -DCMAKE_PREFIX_PATH="$root/build/install" >/dev/null
cmake --build build/consumer/cmake >/dev/null
LD_LIBRARY_PATH="$root/build/install/lib" build/consumer/cmake/consumer

step "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan

step "unit tests under ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
# ThreadSanitizer's shadow memory does not fit every randomised address layout; run without it.
if setarch "$(uname -m)" -R true 2>/dev/null; then
  setarch "$(uname -m)" -R ctest --preset tsan
else
  ctest --preset tsan
fi

step "fuzz targets, ${fuzz_seconds}s each, from the committed corpus"
rm -rf build/fuzz/artifacts
scripts/fuzz.sh "$fuzz_seconds"

step "all tests passed"
