#!/usr/bin/env bash
# Builds and runs every test: the unit and tool tests (plain, under ASan+UBSan and under TSan),
# the exported-symbol list, clang-format and clang-tidy, consumers built against an installed
# package that was moved after installation (pkg-config and find_package), a short run of every
# fuzz target from its committed corpus, the Debian package tried from a scratch root, the API
# reference and the packet dissector. Run from anywhere; exits non-zero at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
fuzz_seconds=${QP_FUZZ_SECONDS:-20}

step() { printf '\n==== %s\n' "$*"; }

step "unit tests"
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default --no-tests=error

step "exported symbols, formatting and static checks"
scripts/check-exports.sh
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
# clang-tidy counts the warnings it suppressed on stderr; only its findings matter.
git ls-files 'natives/*.cpp' | xargs -P "$(nproc)" -n 4 clang-tidy -p build/default --quiet \
  2> >(grep -v 'warnings\? generated' >&2)

step "install, move the installed tree, and build consumers from the moved copy"
# The package must not remember where it was installed: install to one prefix, move the tree,
# and build both consumers (pkg-config and find_package) against the moved copy only.
rm -rf build/install build/moved
cmake --install build/default --prefix build/install >/dev/null
mv build/install build/moved
moved="$root/build/moved"
libdir=$(cd "$moved" && dirname "$(find . -name 'libQpUtils.so' | head -n 1)")
export PKG_CONFIG_PATH="$moved/$libdir/pkgconfig"
mkdir -p build/consumer
# shellcheck disable=SC2046
g++ -std=c++17 -Wall -Wextra -o build/consumer/consumer-pc tests/consumer/consumer.cpp \
  $(pkg-config --cflags --libs QpUtils)
LD_LIBRARY_PATH="$moved/$libdir" build/consumer/consumer-pc
rm -rf build/consumer/cmake
cmake -S tests/consumer -B build/consumer/cmake -G Ninja -DCMAKE_PREFIX_PATH="$moved" >/dev/null
cmake --build build/consumer/cmake >/dev/null
LD_LIBRARY_PATH="$moved/$libdir" build/consumer/cmake/consumer
if grep -rq "$root/build/install" "$moved"; then
  echo "the installed tree names its original prefix:" >&2
  grep -rl "$root/build/install" "$moved" >&2
  exit 1
fi

step "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan --no-tests=error

step "unit tests under ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
# ThreadSanitizer's shadow memory does not fit every randomised address layout; run without it.
if setarch "$(uname -m)" -R true 2>/dev/null; then
  setarch "$(uname -m)" -R ctest --preset tsan --no-tests=error
else
  ctest --preset tsan --no-tests=error
fi

step "fuzz targets, ${fuzz_seconds}s each, from the committed corpus"
rm -rf build/fuzz/artifacts
scripts/fuzz.sh "$fuzz_seconds"

step "Debian package: unpacked into a scratch root, consumers and qptool run from it"
scripts/check-package.sh build/default

step "API reference (doxygen, warnings as errors)"
cmake --build --preset default --target docs

step "packet dissector: tshark decodes written and captured exchanges"
if tshark -v >/dev/null 2>&1; then
  build/default/tests/qp_tools_tests --gtest_filter='Dissector.*' | tee build/dissector.log
  # The written capture needs nothing but tshark: here it must have run, not been skipped.
  if grep -q 'SKIPPED \] Dissector.ShowsEveryField' build/dissector.log; then
    echo "the dissector's written-capture test was skipped although tshark runs" >&2
    exit 1
  fi
else
  echo "SKIPPED: tshark cannot run on this machine, so the dissector is not checked"
fi

step "all tests passed"
