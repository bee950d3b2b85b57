#!/usr/bin/env bash
# quorlin-cli.exe under Wine and the Linux quorlin-cli insert the sample game's
# bitmap, PNG and Targa pictures into the same slots of the same generated game;
# the archives and backups they leave must be identical byte for byte.
#   cli_matches_linux.sh QUORLIN-CLI.EXE LINUX-QUORLIN-CLI LINUX-MAKE-SAMPLE-GAME
set -euo pipefail
wincli="$1" cli="$2" maker="$3"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work="$(mktemp -d /tmp/quorlin-cli-match.XXXXXX)"
trap 'rm -rf "$work"' EXIT
winpath() { echo "Z:${1//\//\\}"; }
fail() { echo "FAIL: $*"; exit 1; }

"$maker" "$work/linux" --seed 7 --fillers 40 >/dev/null
cp -r "$work/linux" "$work/windows"
for step in "9 bmp" "12 png" "37 tga" "12 bmp --filter box"; do
  set -- $step
  slot="$1" picture="sample-skin.$2"
  shift 2
  "$cli" --game "$work/linux" insert --slot "$slot" "$@" "$work/linux/$picture" >/dev/null 2>&1 ||
    fail "quorlin-cli refused $picture"
  wine "$wincli" --game "$(winpath "$work/windows")" insert --slot "$slot" "$@" "$(winpath "$work/windows/$picture")" \
    >/dev/null 2>&1 || fail "quorlin-cli.exe refused $picture"
  for f in textures.mw4 props.mw4 textures.mw4b props.mw4b; do
    cmp -s "$work/linux/resource/$f" "$work/windows/resource/$f" ||
      fail "after inserting $picture into slot $slot $* the Windows $f differs"
  done
  echo "ok   $picture into slot $slot $*: the same archives and backups on both"
done
