#!/usr/bin/env bash
# Cross-builds the Windows programs and their suites with MinGW-w64 (windows
# preset) and runs them under Wine through CTest, in a throw-away Wine prefix
# warmed up once first so that no test pays for Wine's first start. The Windows
# command line is compared with the Linux one of the ci build (built here if it
# is not yet). Needs the packages tools/install-deps --windows installs.
set -euo pipefail
cd "$(dirname "$0")/../.."
linux="$PWD/build/ci"

if [ ! -x "$linux/src/cli/quorlin-cli" ] || [ ! -x "$linux/tools/make-sample-game" ]; then
  cmake --preset ci >/dev/null
fi
cmake --build --preset ci --target quorlin-cli make-sample-game
cmake --preset windows -DQUORLIN_LINUX_BUILD="$linux" >/dev/null
cmake --build --preset windows

prefix="$(mktemp -d /tmp/quorlin-wine.XXXXXX)"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
# wineboot starts the prefix's own wineserver; starting one alone (wineserver -p)
# first would leave it waiting for ever.
DISPLAY= wineboot -i >/dev/null 2>&1
ctest --preset windows
