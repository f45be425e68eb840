#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
#   scripts/test.sh             GCC build (warnings are errors), all tests
#   scripts/test.sh --sanitize  clang build with ASan + UBSan, all tests and
#                               a short run of every fuzz target
#   scripts/test.sh --tsan      clang build with ThreadSanitizer of the suites
#                               that run threads (CTest label tsan)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

jobs=$(nproc)
case "${1:-}" in
  "")
    build=build
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMATRACE_WERROR=ON >/dev/null
    ;;
  --sanitize)
    build=build-asan
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DLUMATRACE_SANITIZE=ON -DLUMATRACE_FUZZ=ON -DLUMATRACE_BENCH=OFF -DLUMATRACE_WINDOWS=OFF >/dev/null
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
    ;;
  --tsan)
    build=build-tsan
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DLUMATRACE_TSAN=ON -DLUMATRACE_BENCH=OFF -DLUMATRACE_WINDOWS=OFF >/dev/null
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    cmake --build "$build" -j "$jobs" --target lumatrace_tsan_tests
    cd "$build"
    ctest --output-on-failure -j "$jobs" -L tsan
    exit 0
    ;;
  *)
    echo "usage: $0 [--sanitize | --tsan]" >&2
    exit 2
    ;;
esac

cmake --build "$build" -j "$jobs"
cd "$build"
ctest --output-on-failure -j "$jobs"
