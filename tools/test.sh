#!/usr/bin/env bash
# Builds Kadrovo (installing what is missing) and runs every test: the format check, all tests
# of an optimised build (end-to-end tests under Xvfb included), then the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and builds and checks the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
jobs=$(nproc)
# A compiler cache, when one is installed, makes the second build and every rebuild quick.
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

echo "== Format check"
tools/check-format.sh

echo "== Optimised build"
# The options are given every time, so that a folder configured otherwise before still builds
# every test.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKADROVO_TESTS=ON \
    -DKADROVO_BENCH=ON -DKADROVO_SANITIZE=OFF -DKADROVO_FUZZ=OFF "${launcher[@]}" >/dev/null
cmake --build build/release -j "$jobs"

echo "== Sanitizer build"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKADROVO_SANITIZE=ON \
    -DKADROVO_TESTS=ON -DKADROVO_FUZZ=OFF "${launcher[@]}" >/dev/null
cmake --build build/asan -j "$jobs"

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# intercept_strndup=0: the X keyboard library reads past the end of its strings inside strndup
# (it passes an over-long bound); the reads are its own and outside our code.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:intercept_strndup=0"
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# --no-tests=error: a build without tests fails instead of passing quietly.
ctest --test-dir build/asan -L unit --no-tests=error --output-on-failure -j "$jobs"
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

echo "== Debian package"
# Built without its tests (they run here already), checked by lintian, unpacked and started.
tools/check-package.sh

echo "== All tests"
ctest --test-dir build/release --no-tests=error --output-on-failure -j "$jobs"
