#!/usr/bin/env bash
# The Qt window for real on Xvfb, driven through its dialogs and menus with xdotool: with no game
# found, the folder typed into Qt's folder dialog is taken, and the next start goes straight to it
# unasked; a picture dropped (the drag's events sent to the window) is opened and inserted, Edit >
# Undo Last Change to Slot gives the original archives back; the open Skin menu, grabbed, shows
# slot 12's preview with its mark. (Several files dropped, and the messages' texts: window_test.)
#   window_e2e.sh QUORLIN MAKE-SAMPLE-GAME   (QUORLIN_GRABS=DIR keeps the grab of the Skin menu, as BMP)
set -euo pipefail
window="$1" maker="$2"
work="$(mktemp -d /tmp/quorlin-qt-e2e.XXXXXX)"
trap '[ -n "${xserver:-}" ] && kill "$xserver" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; cat "$work/window.log" 2>/dev/null; exit 1; }
wait_for() {  # a condition, up to 30 seconds
  for _ in $(seq 150); do eval "$1" && return 0; sleep 0.2; done
  fail "timed out waiting for: $1"
}
Xvfb -displayfd 3 -screen 0 1024x1100x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xserver=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb HOME="$work/home" XDG_CONFIG_HOME="$work/config"
export WINEPREFIX="$work/no-prefix"  # no game key: nothing to find
unset QT_QPA_PLATFORMTHEME
"$maker" "$work/game" --fillers 30 --prepared 9 12 >/dev/null
cp -r "$work/game/resource" "$work/original"
keys() { xdotool key --delay 120 "$@"; sleep 0.6; }

QUORLIN_TEST_AUTO_ANSWER=yes QUORLIN_TEST_DROP="$work/game/sample-skin.bmp" "$window" >"$work/window.log" 2>&1 &
program=$!
wait_for 'grep -q "Do you want to choose the game" "$work/window.log"'
# The folder dialog: Qt's own on a bare X server, its name field ready for typing.
wait_for 'xdotool search --name "Choose the Mechwarrior Vengeance folder" >/dev/null'
dialog="$(xdotool search --name "Choose the Mechwarrior Vengeance folder" | head -1)"
xdotool windowfocus --sync "$dialog"
xdotool type --delay 20 "$work/game"
keys Return
wait_for 'grep -q "An index of the skins must be created" "$work/window.log"'
echo "ok   with no game found, the folder typed into the folder dialog was taken"

main="$(xdotool search --name "^Quorlin \[" | head -1)"
xdotool windowfocus --sync "$main"
sleep 1
keys alt+s Down Down Down Return  # Skin > 12
keys alt+e i                      # Edit > Insert Skin
wait_for '[ -f "$work/game/resource/quorlin-history/slot12-000001.qver" ] && [ ! -e "$work/game/resource/quorlin.journal" ]'
cmp -s "$work/game/resource/textures.mw4" "$work/original/textures.mw4" && fail "Insert Skin changed nothing"
keys alt+e u                      # Edit > Undo Last Change to Slot, its question answered Yes by the aid
wait_for '[ -f "$work/game/resource/quorlin-history/slot12-000002.qver" ]'
sleep 1
for a in textures.mw4 props.mw4; do cmp -s "$work/game/resource/$a" "$work/original/$a" || fail "$a after the undo"; done
[ ! -e "$work/game/resource/quorlin-history/slot12-000001.qver" ] || fail "Undo kept the version it brought back"
keys alt+e i                      # the picture in again, for the Skin menu's mark
wait_for '[ -f "$work/game/resource/quorlin-history/slot12-000003.qver" ]'
keys alt+f x                      # File > Exit
wait "$program" || fail "the program ended with status $?"
echo "ok   the dropped picture, inserted, then Undo Last Change to Slot gave the original archives back"

# The next start: straight to the remembered folder, saying nothing, the Skin menu grabbed open.
QUORLIN_TEST_AUTO_ANSWER=yes QUORLIN_TEST_OPEN_MENU=skin QUORLIN_TEST_SCREENSHOT="$work/menu.bmp" timeout 60 \
  "$window" >"$work/window.log" 2>&1 || fail "the second start did not come up and end with 0"
! grep -q "message:" "$work/window.log" || fail "the second start asked or said something"
if [ -n "${QUORLIN_GRABS:-}" ]; then cp "$work/menu.bmp" "$QUORLIN_GRABS/skin-menu.bmp"; fi
python3 - "$work/menu.bmp" "$work/game/sample-skin.bmp" <<'PY'
import struct, sys
grab, bmp = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
(top,), (w, stored), (bits,) = struct.unpack("<I", grab[10:14]), struct.unpack("<ii", grab[18:26]), struct.unpack("<H", grab[28:30])
h = abs(stored)
def pixel(x, y):  # RGB; the grab's rows are stored bottom-up unless its height is negative
    at = top + (h - 1 - y if stored > 0 else y) * ((w * bits // 8 + 3) & ~3) + x * bits // 8
    return grab[at + 2], grab[at + 1], grab[at]
# Slot 12's preview: the sample picture sampled every 16 pixels (bitmap rows bottom-up, blue green red).
def sample(x, y):
    i = 54 + (511 - 16 * y) * 1536 + 16 * x * 3
    return (bmp[i + 2], bmp[i + 1], bmp[i])
want = [[sample(x, y) for x in range(32)] for y in range(32)]
for y0 in range(h - 32):
    for x0 in range(w - 32):
        if pixel(x0, y0 + 20) == want[20][0] and all(pixel(x0 + x, y0 + y) == want[y][x] for y in range(12, 32) for x in range(32)):
            assert pixel(x0 + 26, y0 + 5) == (255, 140, 0), "no orange dot on the changed slot"
            sys.exit(0)
sys.exit("slot 12's preview is not in the grab at one image pixel per screen pixel")
PY

echo "ok   the next start went to the remembered folder, and the Skin menu shows slot 12's preview with its mark"
