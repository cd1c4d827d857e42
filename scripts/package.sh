#!/usr/bin/env bash
# Builds the Debian package: a release build of the gateway and its client (no tests) in
# build-package/, then CPack's DEB generator; the package goes to dist/ and its path is printed.
# Further arguments go to CMake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-package
# -O2 as Debian builds its packages (and GCC 12 at -O3 warns falsely about string copies).
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DXG_BUILD_TESTS=OFF "$@" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
rm -rf "$build/cpack"
(cd "$build" && cpack -G DEB -B "$build/cpack" >/dev/null)
mkdir -p "$root/dist"
rm -f "$root"/dist/xmlgateway_*.deb
deb=$(ls "$build"/cpack/xmlgateway_*.deb)
cp "$deb" "$root/dist/"
echo "$root/dist/$(basename "$deb")"
