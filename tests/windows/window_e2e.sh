#!/usr/bin/env bash
# quorlin.exe end to end under Wine on Xvfb, driven from the keyboard through its
# menus' access keys: start-up builds the index, a picture is opened (the testing
# aid), Skin > 12, Edit > Insert Skin, Edit > Restore to Original, File > Exit.
# The archives must then hold byte for byte what quorlin-cli.exe writes into a
# copy of the same game, and after the restore the original archives again.
#   window_e2e.sh QUORLIN.EXE QUORLIN-CLI.EXE MAKE-SAMPLE-GAME.EXE   (in $WINEPREFIX)
set -euo pipefail
window="$1" cli="$2" maker="$3"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# It registers the game and deletes the key again: only in a prefix made for the run.
if [ ! -f "${WINEPREFIX:-/nonexistent}/.quorlin-throwaway" ]; then
  echo "FAIL: refusing to change the game's registry key outside a throw-away Wine prefix"
  exit 1
fi
work="$(mktemp -d /tmp/quorlin-e2e.XXXXXX)"
cleanup() {
  [ -n "${xserver:-}" ] && kill "$xserver" 2>/dev/null || true
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

wine "$maker" "$(winpath "$work/game")" --fillers 30 --prepared 9 12 >/dev/null
cp -r "$work/game" "$work/expected"
cp -r "$work/game/resource" "$work/original"
wine "$cli" --game "$(winpath "$work/expected")" insert --slot 12 "$(winpath "$work/expected/sample-skin.bmp")" >/dev/null 2>&1
key='HKLM\Software\Microsoft\Microsoft Games\Mechwarrior Vengeance'
wine reg add "$key" /v "EXE Path" /t REG_SZ /d "$(winpath "$work/game")" /f /reg:32 >/dev/null 2>&1
wine reg add "$key" /v CDPath /t REG_SZ /d 'D:\' /f /reg:32 >/dev/null 2>&1

# An X server on a display number it picks free (tests run side by side).
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xserver=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display="$(cat "$work/display")"
export DISPLAY=":$display"
QUORLIN_TEST_AUTO_ANSWER=yes QUORLIN_TEST_PICTURE="$(winpath "$work/game/sample-skin.bmp")" \
  wine explorer /desktop=quorlin,1024x768 "$window" >"$work/window.log" 2>&1 &
program=$!
wait_for 'grep -q "An index of the skins must be created to be patch independent." "$work/window.log"'
head -1 "$work/window.log" | grep -q "^window shown" || fail "the window was not up before the index message"
desktop="$(xdotool search --name 'Wine desktop' | head -1)"
xdotool windowfocus --sync "$desktop"
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
