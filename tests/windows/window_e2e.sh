#!/usr/bin/env bash
# quorlin.exe under Wine on Xvfb, in a throw-away prefix (it changes the DPI, the game's key and the
# user's settings), driven through its menus' access keys and Wine's own dialogs:
#  - on a game the registry names: start-up indexes, a picture is opened (test aid), Skin > 12,
#    Edit > Insert Skin, Edit > Restore to Original, File > Exit; the archives then hold what
#    quorlin-cli.exe writes, then the originals again;
#  - with no game key and no settings: No, and Cancel in the folder dialog, end it with 1; a folder
#    typed into the dialog that lacks props.mw4 is refused by name and the dialog comes again; the
#    game's folder typed there is taken and kept in settings.json, and later starts use it unasked;
#    Edit > Smooth Texture Levels is kept there too;
#  - a picture dropped (QUORLIN_TEST_DROP) is opened: Insert Skin writes it into slot 12, Undo Last
#    Change to Slot gives the seven entries back byte for byte at the layout's places, and each
#    change keeps what it replaced as a version; File > Open starts in the dropped picture's folder;
#    Restore Slot to Original; two files dropped give one message and change nothing;
#  - the Skin menu's icons in grabs of the open menu: the prepared slots' solid lobby previews one
#    image pixel per screen pixel at 96 DPI, slot 12's picture preview with the orange dot once it
#    differs from the backup, the same icon enlarged 2x at 192 DPI, the solid preview after undo;
#  - at 96 and 144 DPI (LogPixels), given a game and a picture in Cyrillic/Chinese-named folders:
#    the grab holds the picture one image pixel per screen pixel at the picture box (the client
#    origin plus 12,4 scaled). QUORLIN_GRABS=DIR keeps the grabs (BMP, and the open Skin menu as
#    skin-menu-windows.png; docs/ holds them as PNG).
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
screen() { python3 "$(dirname "$0")/screen.py" "$@"; }
# start DESKTOP,WxH [VAR=VALUE...]: quorlin.exe in a Wine desktop of its own, in the background, its
# messages answered Yes (test aid) and logged; explorer, which keeps the desktop, does not pass the
# program's exit status on, so a batch file writes it into $work/status.
printf '@%%*\r\n@echo %%errorlevel%% >"%s"\r\n' "$(winpath "$work/status")" >"$work/run.bat"
start() {
  desktop="${1%%,*}"
  local size="$1"
  shift
  rm -f "$work/status" "$work/window.log"  # now, not once the program runs: no line of the last run is read
  env QUORLIN_TEST_AUTO_ANSWER=yes "$@" wine explorer /desktop="$size" cmd /c "$(winpath "$work/run.bat")" \
    "$(winpath "$window")" >"$work/window.log" 2>&1 &
  program=$!
}
ended() {  # ended STATUS: the program has ended, with STATUS
  for _ in $(seq 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$program" 2>/dev/null && fail "the program did not end"
  wait "$program" || true
  [ "$(tr -d '\r ' <"$work/status" 2>/dev/null)" = "$1" ] || fail "the program ended with status $(cat "$work/status"), not $1"
}
focus() {  # the keyboard to the run's Wine desktop, the pointer over its window
  wait_for 'xdotool search --name "^$desktop - Wine desktop\$" >/dev/null'
  local on
  on="$(xdotool search --name "^$desktop - Wine desktop\$" | head -1)"
  xdotool mousemove --window "$on" 100 100 windowfocus --sync "$on"
}
keys() { xdotool key --delay 150 "$@"; sleep 0.5; }
shown() { wait_for 'grep -q "^window shown" "$work/window.log"'; sleep 1; focus; }  # up and taking keys
log() { tr -d '\r' <"$work/window.log"; }
# menu_shows CHECK...: the open Skin menu (alt+s, the highlight moved off slot 9, since Wine inverts
# a highlighted item's bitmap) grabbed into $work/menu.ppm until the check passes, then closed.
menu_shows() {
  keys alt+s Down
  for try in 1 2 3 4 5 6; do
    screen grab "$work/menu.ppm"
    screen "$1" "$work/menu.ppm" "${@:2}" >"$work/check.log" 2>&1 && break
    [ $try = 6 ] && fail "$(cat "$work/check.log")"
    sleep 0.5
  done
  keys Escape Escape
}
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
wine reg add "$key" /v "EXE Path" /t REG_SZ /d "$(winpath "$work/game")" /f /reg:32 >/dev/null 2>&1
wine reg add "$key" /v CDPath /t REG_SZ /d 'D:\' /f /reg:32 >/dev/null 2>&1

start quorlin,1024x768 QUORLIN_TEST_PICTURE="$(winpath "$work/game/sample-skin.bmp")"
wait_for 'grep -q "An index of the skins must be created to be patch independent." "$work/window.log"'
head -1 "$work/window.log" | grep -q "^window shown" || fail "the window was not up before the index message"
focus

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
ended 0
echo "ok   File > Exit ended the program with status 0"

# No game key and no settings: the player is asked for the game's folder. A new game, with the
# layout of its entries; slot 12's seven entries are read there.
wine reg delete "$key" /f /reg:32 >/dev/null 2>&1
rm -f "$settings"
g2="$work/game2" pics="$work/pictures"
"$linux_maker" "$g2" --seed 3 --fillers 30 --prepared 9 12 --layout "$work/layout" >/dev/null
mkdir -p "$pics" "$work/half/resource"
cp "$g2"/sample-skin.* "$pics/"
cp "$g2/resource/textures.mw4" "$work/half/resource/"  # a folder lacking props.mw4
cp -r "$g2" "$work/expected2"
cp -r "$g2/resource" "$work/original2"
wine "$cli" --game "$(winpath "$work/expected2")" insert --slot 12 "$(winpath "$pics/sample-skin.bmp")" >/dev/null 2>&1
slot12() {  # slot12 RESOURCE: slot 12's seven entries as RESOURCE's archives hold them at the layout's places
  python3 - "$1" "$work/layout" <<'PY'
import sys
for line in open(sys.argv[2]):
    archive, name, _, _, offset, length = line.split()
    if name.endswith(("\\skinb0.tga", "\\skinb1.tga", "\\skinb2.tga", "\\skinb3.tga", "\\skinb4.tga", "\\skinb5.tga")):
        data = open(f"{sys.argv[1]}/{archive}", "rb").read()[int(offset):int(offset) + int(length)]
        print(archive, name, data.hex())
PY
}
slot12 "$work/original2" >"$work/slot12.original"
slot12 "$work/expected2/resource" >"$work/slot12.inserted"
[ "$(wc -l <"$work/slot12.original")" = 7 ] || fail "slot 12 does not have seven entries in the layout"
asked="message: Quorlin: Problem getting Mechwarrior Path!
message: Quorlin: Do you want to choose the game's folder yourself?"
dialog() { wait_for 'xdotool search --name "^Choose the Mechwarrior Vengeance folder\$" >/dev/null'; focus; }

start quorlin-no,1024x768 QUORLIN_TEST_AUTO_ANSWER=no
ended 1
[ "$(log)" = "$asked" ] || fail "answered No, the program said: $(log)"
start quorlin-cancel,1024x768 QUORLIN_TEST_AUTO_ANSWER=  # the message boxes shown, answered by their buttons
for button in Return y; do  # OK, then Yes, each box taking the keyboard
  wait_for 'xdotool search --name "^Quorlin\$" >/dev/null'
  box="$(xdotool search --name "^Quorlin\$" | head -1)"
  xdotool mousemove --window "$box" 20 20 windowfocus --sync "$box" key $button
  wait_for '! xdotool search --name "^Quorlin\$" | grep -qx "$box"'
done
dialog
keys Escape
ended 1
[ ! -e "$settings" ] || fail "the folder dialog cancelled, settings were written"
echo "ok   with no game found it asks; No, and Cancel in the folder dialog, end it with 1"

start quorlin-choose,1024x768
dialog
xdotool type --delay 20 "$(winpath "$work/half")"
keys Return
wait_for 'grep -q "is not the game" "$work/window.log"'
dialog
xdotool type --delay 20 "$(winpath "$g2")"
keys Return
shown
[ "$(log | head -6)" = "$asked
message: Quorlin: The folder
$(winpath "$work/half")
is not the game's folder: it has no resource\\props.mw4.
window shown" ] || fail "choosing the folder, the program said: $(log)"
remembered() { python3 -c 'import json, sys; print(json.load(open(sys.argv[1])).get(sys.argv[2]))' "$settings" "$1"; }
[ "$(remembered game_folder)" = "$(winpath "$g2")" ] || fail "settings.json does not hold the game folder: $(cat "$settings")"
for smooth in True False; do
  keys alt+e m  # Edit > Smooth Texture Levels
  wait_for '[ "$(remembered smooth_levels)" = '$smooth' ]'
done
for chosen in "$work/game" "$g2"; do  # File > Game Folder...: another game, then this one again
  keys alt+f g
  dialog
  xdotool type --delay 20 "$(winpath "$chosen")"
  keys Return
  wait_for '[ "$(remembered game_folder)" = "$(winpath "$chosen")" ]'
done
keys alt+f x
ended 0
echo "ok   a folder typed into the folder dialog lacking props.mw4 is refused by name, the game's is kept"
echo "ok   File > Game Folder... chooses another game's folder and keeps it"

# The next start uses the folder kept, unasked. A picture dropped is opened; the Skin menu shows the
# prepared slots' solid lobby previews (BGR 255 - slot * 6, slot * 6, 128), each a 32x32 square.
start quorlin-drop,1024x768 QUORLIN_TEST_DROP="$(winpath "$pics/sample-skin.bmp")"
shown
[ "$(log)" = "window shown" ] || fail "the start on the kept folder said: $(log)"
[ "$(remembered picture_folder)" = "$(winpath "$pics")" ] || fail "the dropped picture's folder was not kept"
menu_shows solid 32 128,54,201 128,72,183
keys alt+s Down Down Down Return
keys alt+e i
wait_for '[ -f "$g2/resource/props.mw4b" ] && [ ! -e "$g2/resource/quorlin.journal" ]'
sleep 1
for a in textures.mw4 props.mw4; do
  cmp -s "$g2/resource/$a" "$work/expected2/resource/$a" || fail "$a after inserting the dropped picture differs from quorlin-cli's"
done
kept() {  # kept VERSIONS... ENTRIES: the history holds just these versions, the newest with the entries' bytes
  [ "$(ls "$g2/resource/quorlin-history" | xargs)" = "${*:1:$#-1}" ] ||
    fail "the versions kept: $(ls "$g2/resource/quorlin-history" | xargs), not ${*:1:$#-1}"
  python3 -c 'import sys; v = open(sys.argv[1], "rb").read().hex()
sys.exit(any(line.split()[2] not in v for line in open(sys.argv[2])))' \
    "$g2/resource/quorlin-history/${*:$#-1:1}" "${*:$#}" || fail "${*:$#-1:1} does not hold $(basename "${*:$#}")"
}
kept slot12-000001.qver "$work/slot12.original"
echo "ok   the kept folder is used unasked; a dropped picture is opened and inserted as quorlin-cli.exe inserts it"
menu_shows icon "$g2/resource/props.mw4" "$work/layout" "$work/icon"
[ -n "${QUORLIN_GRABS:-}" ] && screen png "$work/menu.ppm" "$QUORLIN_GRABS/skin-menu-windows.png" 1024 768
echo "ok   slot 12's icon is its new lobby preview one image pixel per screen pixel, with the orange dot"

keys alt+e u  # Edit > Undo Last Change to Slot, its question answered Yes by the aid
wait_for 'cmp -s "$g2/resource/props.mw4" "$work/original2/props.mw4"'
sleep 1
slot12 "$g2/resource" | cmp -s - "$work/slot12.original" || fail "undo did not give back slot 12's seven entries"
cmp -s "$g2/resource/textures.mw4" "$work/original2/textures.mw4" || fail "undo changed textures.mw4 elsewhere"
log | grep -q "^message: Continue?: Restoring may require you to rerun the Zandel!" || fail "Undo did not ask first"
kept slot12-000002.qver "$work/slot12.inserted"  # the version brought back goes, what it replaced is kept
menu_shows solid 32 128,54,201 128,72,183
echo "ok   Undo Last Change to Slot gave slot 12's seven entries back, keeping what it replaced; its icon is solid again"
keys alt+f x
ended 0

# 192 DPI: File > Open starts in the dropped picture's folder (a name alone opens the picture
# there); the icons are drawn enlarged 2x; Restore Slot to Original.
dpi 192
start quorlin-192,1280x1024
shown
keys alt+f o
wait_for 'xdotool search --name "^Open 512x512 Skin\$" >/dev/null'
sleep 0.5
xdotool type --delay 20 sample-skin.png
keys Return
keys alt+s Down Down Down Return
keys alt+e i
wait_for 'cmp -s "$g2/resource/props.mw4" "$work/expected2/resource/props.mw4"'
sleep 1
cmp -s "$g2/resource/textures.mw4" "$work/expected2/resource/textures.mw4" || fail "textures.mw4 after inserting the PNG"
echo "ok   File > Open started in the last picture's folder"
menu_shows twice "$work/icon"
menu_shows solid 64 128,54,201
echo "ok   at 192 DPI the icons are enlarged 2x, each image pixel a 2x2 block"
keys alt+e s  # Edit > Restore Slot to Original
wait_for 'cmp -s "$g2/resource/props.mw4" "$work/original2/props.mw4"'
sleep 1
slot12 "$g2/resource" | cmp -s - "$work/slot12.original" || fail "Restore Slot did not give back slot 12's seven entries"
kept slot12-000002.qver slot12-000003.qver slot12-000004.qver "$work/slot12.inserted"
echo "ok   Restore Slot to Original put slot 12 back, keeping what it replaced"
keys alt+f x
ended 0
dpi 96

# Two files dropped: one message, and nothing opened or written.
cp "$settings" "$work/settings.before"
start quorlin-two,1024x768 QUORLIN_TEST_DROP="$(winpath "$pics/sample-skin.bmp");$(winpath "$pics/sample-skin.png")"
shown
keys alt+e i
wait_for 'grep -q "Load a 512x512 image to use for a skin" "$work/window.log"'
keys alt+f x
ended 0
[ "$(log)" = "window shown
message: Quorlin: Drop one picture file onto the window to open it.
message: Quorlin: Load a 512x512 image to use for a skin" ] || fail "two files dropped, the program said: $(log)"
for a in textures.mw4 props.mw4; do cmp -s "$g2/resource/$a" "$work/original2/$a" || fail "$a changed"; done
cmp -s "$settings" "$work/settings.before" || fail "the settings changed"
kept slot12-000002.qver slot12-000003.qver slot12-000004.qver "$work/slot12.inserted"
echo "ok   two files dropped give one message and open nothing"

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
