#!/usr/bin/env bash
# Builds the gateway and its tests into build/ (or the folder given as the first argument; further
# arguments go to CMake, e.g. -DXG_SANITIZE=ON).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
shift || true
# Tests on, even in a folder that scripts/run.sh configured without them.
cmake -S "$root" -B "$dir" -DXG_BUILD_TESTS=ON "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
