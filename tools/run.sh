#!/usr/bin/env bash
# Builds Kadrovo (installing what is missing) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
# A build folder of its own: the test script's builds keep their tests.
cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKADROVO_TESTS=OFF \
    -DKADROVO_BENCH=OFF >/dev/null
cmake --build build/run --target kadrovo
exec build/run/app/kadrovo "$@"
