#!/usr/bin/env bash
# quorlin.exe under Wine on Xvfb, in a throw-away prefix (it changes the DPI, the game's key and the
# user's settings), driven through its menus' access keys and Wine's own dialogs: its message boxes,
# folder dialog, drops (QUORLIN_TEST_DROP posts WM_DROPFILES) and the Skin menu's icons, at 96, 144 and
# 192 DPI. QUORLIN_GRABS=DIR keeps the grabs (BMP, and the open Skin menu as skin-menu-windows.png).
#   window_e2e.sh QUORLIN.EXE QUORLIN-CLI.EXE MAKE-SAMPLE-GAME.EXE LINUX-MAKE-SAMPLE-GAME   (in $WINEPREFIX)
set -eEuo pipefail
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND"' ERR
window="$1" cli="$2" maker="$3" linux_maker="$4"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "${WINEPREFIX:-/nonexistent}/.quorlin-throwaway" ] ||
  { echo "FAIL: refusing to change the registry outside a throw-away Wine prefix"; exit 1; }
work="$(mktemp -d /tmp/quorlin-e2e.XXXXXX)"
dpi() { wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; }
key='HKLM\Software\Microsoft\Microsoft Games\Mechwarrior Vengeance'
settings="$(winepath -u "$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')" 2>/dev/null)/Quorlin/settings.json"
case "$settings" in "$WINEPREFIX"/*) ;; *) echo "FAIL: no settings file in the Wine prefix: $settings"; exit 1 ;; esac
cleanup() {
  [ -n "${xserver:-}" ] && kill "$xserver" 2>/dev/null || true
  dpi 96 || true
  wine reg delete "$key" /f /reg:32 >/dev/null 2>&1 || true
  rm -rf "$work" "$(dirname "$settings")"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; cat "$work/window.log" 2>/dev/null; exit 1; }
wait_for() {  # a condition, up to 30 seconds
  for _ in $(seq 150); do eval "$1" && return 0; sleep 0.2; done
  fail "timed out waiting for: $1"
}
winpath() { echo "Z:${1//\//\\}"; }
# start DESKTOP,WxH [VAR=VALUE...]: quorlin.exe in its own Wine desktop, in the background, answered Yes
# (test aid) and logged; explorer does not pass the exit status on, so a batch file writes it to $work/status.
printf '@%%*\r\n@echo %%errorlevel%% >"%s"\r\n' "$(winpath "$work/status")" >"$work/run.bat"
start() {
  desktop="${1%%,*}"
  rm -f "$work/status" "$work/window.log"  # now, not once the program runs: no line of the last run is read
  env QUORLIN_TEST_AUTO_ANSWER=yes "${@:2}" wine explorer /desktop="$1" cmd /c "$(winpath "$work/run.bat")" \
    "$(winpath "$window")" >"$work/window.log" 2>&1 &
  program=$!
}
ended() {  # ended STATUS: the program has ended, with STATUS
  wait_for '! kill -0 "$program" 2>/dev/null'
  wait "$program" || true
  [ "$(tr -d '\r ' <"$work/status" 2>/dev/null)" = "$1" ] || fail "the program ended with status $(cat "$work/status"), not $1"
}
found() {  # found TITLE: waits for a window titled TITLE to be mapped, so it can take the focus; its id in $on
  title="^$1\$"
  wait_for 'xdotool search --onlyvisible --name "$title" >/dev/null'
  on="$(xdotool search --onlyvisible --name "$title" | head -1)"
}
focus() { found "$desktop - Wine desktop" && xdotool mousemove --window "$on" 100 100 windowfocus --sync "$on"; }
keys() { xdotool key --delay 150 "$@"; sleep 0.5; }
shown() { wait_for 'grep -q "^window shown" "$work/window.log"'; sleep 1; focus; }  # up and taking keys
log() { tr -d '\r' <"$work/window.log"; }
answer() { found "$1"; sleep 0.5; focus; xdotool type --delay 20 "$2"; keys Return; }  # answer DIALOG TEXT
choose() { answer "Choose the Mechwarrior Vengeance folder" "$(winpath "$1")"; }  # choose DIR in the folder dialog
exits() { keys alt+f x; ended 0; }  # File > Exit, and the program ends with 0
same() { for a in textures.mw4 props.mw4; do cmp -s "$1/$a" "$2/$a" || fail "$a $3"; done; }  # same DIR WANT WHAT
insert() {  # insert GAME WANT: Skin > 12, Edit > Insert Skin; GAME's archives then are WANT's
  keys alt+s Down Down Down Return
  keys alt+e i
  into="$1/resource" want="$2/resource"
  wait_for 'cmp -s "$into/props.mw4" "$want/props.mw4" && [ ! -e "$into/quorlin.journal" ]'
  sleep 1
  same "$into" "$want" "after Insert Skin differs from quorlin-cli's"
}
# menu_shows CHECK...: the open Skin menu (alt+s, the highlight moved off slot 9, since Wine inverts
# a highlighted item's bitmap) passes screen.py's check, then is closed.
menu_shows() {
  keys alt+s Down
  python3 "$(dirname "$0")/screen.py" "$@" || fail "the open Skin menu fails: $*"
  keys Escape Escape
}
# An X server on a display number it picks free (tests run side by side), with room
# for the window at 144 DPI; each run below has a Wine desktop of its own on it.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xserver=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

# A game with the layout of its entries, which the game key names at first; slot 12's seven entries
# are read there. Another game, for File > Game Folder...
g2="$work/game2" pics="$work/pictures"
"$linux_maker" "$g2" --seed 3 --fillers 30 --prepared 9 12 --layout "$work/layout" >/dev/null
wine "$maker" "$(winpath "$work/game")" --fillers 30 --prepared 9 12 >/dev/null
mkdir -p "$pics"
cp "$g2"/sample-skin.* "$pics/"
cp -r "$g2" "$work/expected2"
cp -r "$g2/resource" "$work/original2"
wine "$cli" --game "$(winpath "$work/expected2")" insert --slot 12 "$(winpath "$pics/sample-skin.bmp")" >/dev/null 2>&1
slot12() {  # slot12 RESOURCE: slot 12's seven entries as RESOURCE's archives hold them at the layout's places
  grep -E '\\skinb[0-5]\.tga ' "$work/layout" | while read -r archive name _ _ offset length; do
    echo "$archive $name $(head -c $((offset + length)) "$1/$archive" | tail -c "$length" | od -An -tx1 -v | tr -d ' \n')"
  done
}
slot12 "$work/original2" >"$work/slot12.original"
[ "$(wc -l <"$work/slot12.original")" = 7 ] || fail "slot 12 does not have seven entries in the layout"
undone() {  # undone WHAT: slot 12's seven entries and both archives are the originals again after WHAT
  wait_for 'cmp -s "$g2/resource/props.mw4" "$work/original2/props.mw4"'
  sleep 1
  slot12 "$g2/resource" | cmp -s - "$work/slot12.original" || fail "$1 did not give back slot 12's seven entries"
  same "$g2/resource" "$work/original2" "is not the original after $1"
}
wine reg add "$key" /v "EXE Path" /t REG_SZ /d "$(winpath "$g2")" /f /reg:32 >/dev/null 2>&1
wine reg add "$key" /v CDPath /t REG_SZ /d 'D:\' /f /reg:32 >/dev/null 2>&1

start quorlin,1024x768 QUORLIN_TEST_PICTURE="$(winpath "$pics/sample-skin.bmp")"
wait_for 'grep -q "An index of the skins must be created to be patch independent." "$work/window.log"'
focus
insert "$g2" "$work/expected2"
keys alt+e r  # Edit > Restore to Original, the question answered Yes by the aid
undone "Restore to Original"
exits
echo "ok   in the key's folder Insert Skin wrote what quorlin-cli.exe writes; Restore to Original undid it; Exit: 0"

# No game key and no settings: the player is asked for the game's folder.
wine reg delete "$key" /f /reg:32 >/dev/null 2>&1
rm -f "$settings"
# (Answered No, the start ends with 1 before any dialog, and no settings are written: presenter_test.)
start quorlin-cancel,1024x768 QUORLIN_TEST_AUTO_ANSWER=  # the message boxes shown, answered by their buttons
for button in Return y; do  # OK, then Yes, each box taking the keyboard
  found Quorlin
  xdotool mousemove --window "$on" 20 20 windowfocus --sync "$on" key $button
  wait_for '! xdotool search --name "^Quorlin\$" | grep -qx "$on"'
done
found "Choose the Mechwarrior Vengeance folder"
focus
keys Escape
ended 1
echo "ok   with no game found it asks; Cancel in the folder dialog ends it with 1"

# A folder typed into the folder dialog, and a picture dropped once the window is up: the Skin menu
# shows the prepared slots' solid lobby previews (BGR 255 - slot * 6, slot * 6, 128), each 32x32.
# (The folders refused, and the messages' texts: presenter_test.)
start quorlin-choose,1024x768 QUORLIN_TEST_DROP="$(winpath "$pics/sample-skin.bmp")"
choose "$g2"
shown
remembered() { python3 -c 'import json, sys; print(json.load(open(sys.argv[1])).get(sys.argv[2]))' "$settings" "$1"; }
menu_shows solid 32 128,54,201 128,72,183
insert "$g2" "$work/expected2"
menu_shows icon "$g2/resource/props.mw4" "$work/layout" "$work/icon" ${QUORLIN_GRABS:+"$QUORLIN_GRABS/skin-menu-windows.png"}
echo "ok   a dropped picture is inserted as quorlin-cli.exe inserts it; slot 12's icon: its new preview 1:1, with the dot"
brought="$(ls "$g2/resource/quorlin-history" | tail -1)"  # the version Undo brings back, and drops
keys alt+e u  # Edit > Undo Last Change to Slot, its question answered Yes by the aid
undone Undo
[ ! -e "$g2/resource/quorlin-history/$brought" ] || fail "Undo kept $brought, the version it brought back"
menu_shows solid 32 128,54,201 128,72,183
echo "ok   Undo Last Change to Slot gave slot 12's seven entries back; its icon is solid again"
for smooth in True False; do
  keys alt+e m  # Edit > Smooth Texture Levels
  wait_for '[ "$(remembered smooth_levels)" = '$smooth' ]'
done
for chosen in "$work/game" "$g2"; do  # File > Game Folder...: another game, then this one again
  keys alt+f g
  choose "$chosen"
  wait_for '[ "$(remembered game_folder)" = "$(winpath "$chosen")" ]'
done
exits
echo "ok   File > Game Folder... chooses another game's folder and keeps it, as Smooth Texture Levels is kept"

# 192 DPI, the kept folder used unasked, two files dropped: one message, nothing opened. File > Open
# starts in the folder of the picture dropped before (a name alone opens it there); the icons are
# drawn enlarged 2x; Restore Slot to Original.
dpi 192
start quorlin-192,1280x1024 QUORLIN_TEST_DROP="$(winpath "$pics/sample-skin.bmp");$(winpath "$pics/sample-skin.png")"
shown
keys alt+e i
wait_for 'grep -q "Load a 512x512 image to use for a skin" "$work/window.log"'
[ "$(log)" = "window shown
message: Quorlin: Drop one picture file onto the window to open it.
message: Quorlin: Load a 512x512 image to use for a skin" ] || fail "two files dropped, the program said: $(log)"
echo "ok   the kept folder is used unasked; two files dropped give one message and open nothing"
keys alt+f o
answer "Open 512x512 Skin" sample-skin.png
insert "$g2" "$work/expected2"
menu_shows twice "$work/icon"
menu_shows solid 64 128,54,201
echo "ok   File > Open started in the last picture's folder; at 192 DPI the icons are enlarged 2x"
keys alt+e s  # Edit > Restore Slot to Original
undone "Restore Slot"
echo "ok   Restore Slot to Original put slot 12 back"
exits

game="$work/игра 游戏 é"
LANG=C.UTF-8 "$linux_maker" "$game" --fillers 20 >/dev/null
for at in 96 144; do
  dpi "$at"
  QUORLIN_TEST_AUTO_ANSWER=yes QUORLIN_TEST_SCREENSHOT="$(winpath "$work/grab-$at.bmp")" timeout 90 \
    env LANG=C.UTF-8 wine explorer /desktop=quorlin-dpi,1024x1000 "$window" --game "$(winpath "$game")" "$(winpath "$game/sample-skin.bmp")" \
    >"$work/window.log" 2>&1 || fail "quorlin.exe at $at DPI did not come up and end with 0"
  python3 - "$work/grab-$at.bmp" "$game/sample-skin.bmp" "$work/window.log" "$at" <<'PY'
import re, struct, sys
grab, bmp, log = (open(name, "rb").read() for name in sys.argv[1:4])
dpi, (top,), (width, height) = int(sys.argv[4]), struct.unpack("<I", grab[10:14]), struct.unpack("<ii", grab[18:26])
assert grab[:2] == b"BM" and height < 0 and grab[28] == 24, "the grab is no top-down 24-bit BMP"  # rows top-down
(cx, cy), (px, py) = [map(int, re.search(w + rb" at (-?\d+),(-?\d+)", log).groups()) for w in (b"client", b"picture")]
scaled = (cx + (12 * dpi + 48) // 96, cy + (4 * dpi + 48) // 96)
assert (px, py) == scaled, f"{dpi} DPI: the picture box at {px},{py}, not {scaled}"
for y, x in ((y, x) for y in [*range(0, 512, 7), 511] for x in [*range(0, 512, 7), 511]):
    i, at = 54 + (511 - y) * 1536 + x * 3, top + (py + y) * ((width * 3 + 3) & ~3) + (px + x) * 3
    assert grab[at:at + 3] == bmp[i:i + 3], f"{dpi} DPI: picture pixel {x},{y} shows as {grab[at:at + 3]}, not {bmp[i:i + 3]}"
PY
  [ -f "$game/resource/textures.inx" ] || fail "the game in its folder was not indexed"
  if [ -n "${QUORLIN_GRABS:-}" ]; then cp "$work/grab-$at.bmp" "$QUORLIN_GRABS/window-windows-${at}dpi.bmp"; fi
  echo "ok   at $at DPI the picture is drawn one image pixel per screen pixel in the laid-out window"
done
