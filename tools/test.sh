#!/usr/bin/env bash
# Installs what is missing, builds Arkivault twice (a normal build with g++, and
# an AddressSanitizer + UndefinedBehaviorSanitizer build with clang that also
# holds the fuzz targets) and runs the whole test suite in both.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=$(nproc)

# The normal build goes without debug information, which the sanitizer
# build carries (as line tables, enough for its reports). Both build at low
# optimisation: it halves their compile time, and the tests' heavy work (CRC,
# deflate) runs in zlib, so they run as fast.
echo "== normal build =="
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -DNDEBUG" \
  -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc >/dev/null
cmake --build build/test -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# GTK and its libraries keep caches for the process's lifetime; only our own
# leaks count.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0

# Twice as many tests as cores, and one more: the slowest tests, which start
# first, spend most of their time waiting (for the program's first scheduler
# check, for windows, for other processes). The normal build's tests run
# while the sanitizer build compiles, which fills the same gaps; their report
# follows once the build is done.
tests=$((2 * jobs + 1))
status=0
ctest --test-dir build/test --output-on-failure -j "$tests" >build/test/suite.log 2>&1 &
normal_tests=$!

echo "== sanitizer build =="
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-O0 -gline-tables-only" -DCMAKE_C_FLAGS_DEBUG="-O0 -gline-tables-only" \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DARKIVAULT_SANITIZE=ON -DARKIVAULT_FUZZ=ON >/dev/null
build_status=0
cmake --build build/asan -j "$jobs" || build_status=$?

wait "$normal_tests" || status=1
echo "== tests: normal build =="
cat build/test/suite.log
[ "$build_status" -eq 0 ] || exit "$build_status"
echo "== tests: sanitizer build =="
ctest --test-dir build/asan --output-on-failure -j "$tests" || status=1
exit $status
