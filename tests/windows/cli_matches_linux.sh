#!/usr/bin/env bash
# quorlin-cli.exe under Wine and the Linux quorlin-cli insert the sample bitmap, PNG and Targa
# pictures into the same slots of the same generated game, in folders named in Cyrillic, Chinese
# and accented letters: the archives and backups must match byte for byte, and a refusal names
# such a picture as it is.
#   cli_matches_linux.sh QUORLIN-CLI.EXE LINUX-QUORLIN-CLI LINUX-MAKE-SAMPLE-GAME
set -euo pipefail
wincli="$1" cli="$2" maker="$3"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
work="$(mktemp -d /tmp/quorlin-cli-match.XXXXXX)"
trap 'rm -rf "$work"' EXIT
winpath() { echo "Z:${1//\//\\}"; }
fail() { echo "FAIL: $*"; exit 1; }
games="$work/игры 游戏 é" pictures="$work/картинки 图片 ü"

mkdir -p "$games" "$pictures"
"$maker" "$games/linux" --seed 7 --fillers 40 >/dev/null
cp -r "$games/linux" "$games/windows"
cp "$games/linux"/sample-skin.* "$pictures/"
for step in "9 bmp" "12 png" "37 tga" "12 bmp --filter box"; do
  set -- $step
  slot="$1" picture="$pictures/sample-skin.$2"
  shift 2
  "$cli" --game "$games/linux" insert --slot "$slot" "$@" "$picture" >/dev/null 2>&1 ||
    fail "quorlin-cli refused $picture"
  wine "$wincli" --game "$(winpath "$games/windows")" insert --slot "$slot" "$@" "$(winpath "$picture")" \
    >/dev/null 2>&1 || fail "quorlin-cli.exe refused $picture"
  for f in textures.mw4 props.mw4 textures.mw4b props.mw4b; do
    cmp -s "$games/linux/resource/$f" "$games/windows/resource/$f" ||
      fail "after inserting $picture into slot $slot $* the Windows $f differs"
  done
  echo "ok   $(basename "$picture") into slot $slot $*: the same archives and backups on both"
done

head -c 1000 "$pictures/sample-skin.bmp" >"$pictures/обрезано.bmp"
err="$(wine "$wincli" --game "$(winpath "$games/windows")" insert --slot 9 "$(winpath "$pictures/обрезано.bmp")" 2>&1)" &&
  fail "a cut picture was taken"
[ "${err%$'\r'}" = "Cannot read $(winpath "$pictures/обрезано.bmp"): the bitmap file is shorter than its pixels" ] ||
  fail "the refusal does not name the picture as it is: $err"
echo "ok   a cut picture in a folder of Cyrillic and Chinese letters is refused by its name"
