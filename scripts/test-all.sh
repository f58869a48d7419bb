#!/usr/bin/env bash
# Builds everything and runs every test: the normal build, the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the threaded tests under
# ThreadSanitizer. Also replays each fuzz target over its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}
export QT_QPA_PLATFORM=offscreen

step() { printf '\n== %s ==\n' "$*"; }

step "build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$JOBS"
step "tests"
ctest --test-dir build --output-on-failure -j "$JOBS"
step "Debian packages: build, lintian, install, start, remove"
JOBS=$JOBS scripts/package-test.sh

step "tests under address + undefined-behaviour sanitizers"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=address,undefined \
  -DQV_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$JOBS" -LE nosan

step "threaded tests under the thread sanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=thread \
  -DQV_BUILD_BENCH=OFF -DQV_BUILD_GUI=OFF >/dev/null
cmake --build build-tsan -j "$JOBS"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j "$JOBS" -L tsan

if command -v clang++ >/dev/null && [ -f fuzz/CMakeLists.txt ]; then
  step "fuzz targets over their seed corpora"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DQV_BUILD_FUZZ=ON -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCH=OFF -DQV_BUILD_GUI=OFF >/dev/null
  cmake --build build-fuzz -j "$JOBS"
  scripts/fuzz.sh replay
fi
step "all tests passed"
