#!/usr/bin/env bash
# Cross-compiles the core for 64-bit Windows with MinGW-w64 and runs the Windows
# smoke check under Wine in a throw-away prefix. Needs MinGW-w64 and Wine:
# bash tools/install-deps --windows.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$here/build/windows}"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" -DQUORLIN_CORE_ONLY=ON >/dev/null
cmake --build "$build" --target quorlin_windows_smoke

prefix="$(mktemp -d /tmp/quorlin-wine.XXXXXX)"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
wine "$build/tests/windows/quorlin_windows_smoke.exe"
