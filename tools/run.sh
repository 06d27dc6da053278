#!/usr/bin/env bash
# Builds Kadrovo (installing what is missing) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKADROVO_TESTS=OFF \
    -DKADROVO_BENCH=OFF >/dev/null
cmake --build build/release --target kadrovo
exec build/release/app/kadrovo
