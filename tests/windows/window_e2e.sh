#!/usr/bin/env bash
# quorlin.exe under Wine on Xvfb, in a throw-away prefix (it changes the DPI and the game's key):
#  - on a game the registry names, driven through its menus' access keys: start-up indexes,
#    a picture is opened (test aid), Skin > 12, Edit > Insert Skin, Edit > Restore to Original,
#    File > Exit; the archives then hold what quorlin-cli.exe writes, then the originals again;
#  - at 96 and 144 DPI (LogPixels), given a game and a picture in Cyrillic/Chinese-named folders:
#    the grab holds the picture one image pixel per screen pixel at the picture box (the client
#    origin plus 12,4 scaled). QUORLIN_GRABS=DIR keeps the grabs (BMP; docs/ holds them as PNG).
#   window_e2e.sh QUORLIN.EXE QUORLIN-CLI.EXE MAKE-SAMPLE-GAME.EXE LINUX-MAKE-SAMPLE-GAME   (in $WINEPREFIX)
set -euo pipefail
window="$1" cli="$2" maker="$3" linux_maker="$4"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "${WINEPREFIX:-/nonexistent}/.quorlin-throwaway" ] ||
  { echo "FAIL: refusing to change the registry outside a throw-away Wine prefix"; exit 1; }
work="$(mktemp -d /tmp/quorlin-e2e.XXXXXX)"
dpi() { wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; }
cleanup() {
  [ -n "${xserver:-}" ] && kill "$xserver" 2>/dev/null || true
  dpi 96 || true
  wine reg delete 'HKLM\Software\Microsoft\Microsoft Games\Mechwarrior Vengeance' /f /reg:32 >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; cat "$work/window.log" 2>/dev/null; exit 1; }
wait_for() {  # a condition, up to 30 seconds
  for _ in $(seq 150); do eval "$1" && return 0; sleep 0.2; done
  fail "timed out waiting for: $1"
}
winpath() { echo "Z:${1//\//\\}"; }
# An X server on a display number it picks free (tests run side by side), with room
# for the window at 144 DPI; each run below has a Wine desktop of its own on it.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xserver=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

wine "$maker" "$(winpath "$work/game")" --fillers 30 --prepared 9 12 >/dev/null
cp -r "$work/game" "$work/expected"
cp -r "$work/game/resource" "$work/original"
wine "$cli" --game "$(winpath "$work/expected")" insert --slot 12 "$(winpath "$work/expected/sample-skin.bmp")" >/dev/null 2>&1
key='HKLM\Software\Microsoft\Microsoft Games\Mechwarrior Vengeance'
wine reg add "$key" /v "EXE Path" /t REG_SZ /d "$(winpath "$work/game")" /f /reg:32 >/dev/null 2>&1
wine reg add "$key" /v CDPath /t REG_SZ /d 'D:\' /f /reg:32 >/dev/null 2>&1

QUORLIN_TEST_AUTO_ANSWER=yes QUORLIN_TEST_PICTURE="$(winpath "$work/game/sample-skin.bmp")" \
  wine explorer /desktop=quorlin,1024x768 "$window" >"$work/window.log" 2>&1 &
program=$!
wait_for 'grep -q "An index of the skins must be created to be patch independent." "$work/window.log"'
head -1 "$work/window.log" | grep -q "^window shown" || fail "the window was not up before the index message"
desktop="$(xdotool search --name 'Wine desktop' | head -1)"
xdotool mousemove --window "$desktop" 100 100 windowfocus --sync "$desktop"
keys() { xdotool key --delay 150 "$@"; sleep 0.5; }

keys alt+s Down Down Down Return  # Skin > 12
keys alt+e i                      # Edit > Insert Skin
wait_for '[ -f "$work/game/resource/props.mw4b" ] && [ ! -e "$work/game/resource/quorlin.journal" ]'
sleep 1
for a in textures.mw4 props.mw4; do
  cmp -s "$work/game/resource/$a" "$work/expected/resource/$a" || fail "$a after Insert Skin differs from quorlin-cli's"
  cmp -s "$work/game/resource/${a}b" "$work/original/$a" || fail "${a}b is not the original"
done
echo "ok   Insert Skin into slot 12 wrote what quorlin-cli.exe writes, after backing both archives up"

keys alt+e r  # Edit > Restore to Original, the question answered Yes by the aid
wait_for 'cmp -s "$work/game/resource/props.mw4" "$work/original/props.mw4"'
cmp -s "$work/game/resource/textures.mw4" "$work/original/textures.mw4" || fail "textures.mw4 was not restored"
grep -q "message: Continue?: Restoring may require you to rerun the Zandel!" "$work/window.log" ||
  fail "Restore did not ask first"
echo "ok   Restore to Original asked, then put both original archives back"

keys alt+f x  # File > Exit
for _ in $(seq 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.2; done
kill -0 "$program" 2>/dev/null && fail "File > Exit did not end the program"
wait "$program" || fail "the program ended with status $?"
echo "ok   File > Exit ended the program with status 0"

game="$work/игра 游戏 é"
LANG=C.UTF-8 "$linux_maker" "$game" --fillers 20 >/dev/null
for at in 96 144; do
  dpi "$at"
  QUORLIN_TEST_AUTO_ANSWER=yes QUORLIN_TEST_SCREENSHOT="$(winpath "$work/grab-$at.bmp")" timeout 90 \
    env LANG=C.UTF-8 wine explorer /desktop=quorlin-dpi,1024x1000 "$window" --game "$(winpath "$game")" "$(winpath "$game/sample-skin.bmp")" \
    >"$work/window.log" 2>&1 || fail "quorlin.exe at $at DPI did not come up and end with 0"
  python3 - "$work/grab-$at.bmp" "$game/sample-skin.bmp" "$work/window.log" "$at" <<'PY'
import re, struct, sys
grab, bmp, log, dpi = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read(), open(sys.argv[3]).read(), int(sys.argv[4])
(top,), (width, height) = struct.unpack("<I", grab[10:14]), struct.unpack("<ii", grab[18:26])  # rows top-down
assert grab[:2] == b"BM" and height < 0 and grab[28] == 24, "the grab is no top-down 24-bit BMP"
stride = (width * 3 + 3) & ~3
(cx, cy), (px, py) = [tuple(map(int, re.search(w + r" at (-?\d+),(-?\d+)", log).groups())) for w in ("client", "picture")]
scaled = (cx + (12 * dpi + 48) // 96, cy + (4 * dpi + 48) // 96)
assert (px, py) == scaled, f"{dpi} DPI: the picture box at {px},{py}, not {scaled}"
for y in list(range(0, 512, 7)) + [511]:
    for x in list(range(0, 512, 7)) + [511]:
        i, at = 54 + (511 - y) * 1536 + x * 3, top + (py + y) * stride + (px + x) * 3
        assert grab[at:at + 3] == bmp[i:i + 3], f"{dpi} DPI: picture pixel {x},{y} shows as {grab[at:at + 3]}, not {bmp[i:i + 3]}"
PY
  [ -f "$game/resource/textures.inx" ] || fail "the game in its folder was not indexed"
  if [ -n "${QUORLIN_GRABS:-}" ]; then cp "$work/grab-$at.bmp" "$QUORLIN_GRABS/window-windows-${at}dpi.bmp"; fi
  echo "ok   at $at DPI the picture is drawn one image pixel per screen pixel in the laid-out window"
done
