#!/usr/bin/env bash
# As an ordinary user (in a Wine prefix of its own) on a game whose resource folder it cannot write:
# quorlin-cli.exe explains it and ends with 1; quorlin.exe explains it and offers to start again as
# administrator (No: ends with 1; Yes: hands over to what the test aid records). Nothing is written.
#   permissions.sh QUORLIN.EXE QUORLIN-CLI.EXE LINUX-MAKE-SAMPLE-GAME   (as root)
set -euo pipefail
[ "$(id -u)" = 0 ] || { echo "skipped: an ordinary user can be taken on only by root"; exit 0; }
work="$(mktemp -d /tmp/quorlin-user.XXXXXX)"
# An X server on a display number it picks free (tests run side by side).
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -ac 3>"$work/display" >/dev/null 2>&1 &
xserver=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
trap 'kill $xserver 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
"$3" "$work/game" --fillers 20 >/dev/null
cp "$1" "$2" "$work/"
chown -R 65534:65534 "$work"  # theirs, but for the resource folder
chmod 555 "$work/game/resource"
as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$work" WINEPREFIX="$work/prefix" "$@"; }
as_user wineboot -i >/dev/null 2>&1
game='Z:'"${work//\//\\}"'\game'
before="$(ls -l "$work/game/resource")"
explained="Quorlin cannot change the game's files in
$game\\resource
because this user may not create files in it (no permission to write in the folder)."

err="$(as_user wine "$work/quorlin-cli.exe" --game "$game" status 2>&1 >/dev/null)" && fail "status went on"
[ "${err//$'\r'/}" = "$explained
Windows keeps folders such as Program Files from being changed by ordinary users. Run quorlin-cli from an \
administrator prompt to change the game's files there." ] || fail "quorlin-cli said: $err"
echo "ok   quorlin-cli explains the folder it cannot write and ends with 1"

for answer in no yes; do
  out="$(as_user env QUORLIN_TEST_AUTO_ANSWER=$answer QUORLIN_TEST_ELEVATE='Z:'"${work//\//\\}"'\elevate.txt' \
    timeout 60 wine "$work/quorlin.exe" --game "$game" 2>&1)" && status=0 || status=$?
  [ "${out//$'\r'/}" = "message: Quorlin: $explained

Windows keeps folders such as Program Files from being changed by ordinary users. Quorlin can start again as \
administrator to change the game's files there.

Restart Quorlin as administrator?" ] || fail "quorlin.exe said: $out"
  [ $answer = no ] && want="1 " || want="0 runas Z:${work//\//\\}\\quorlin.exe --game $game"  # status, what started
  started="$(tr -d '\r' 2>/dev/null <"$work/elevate.txt" || true)"
  [ "$status $started" = "$want" ] || fail "answered $answer: status $status, started: $started"
  echo "ok   quorlin.exe explains it and offers to start again as administrator, answered $answer"
done
[ "$(ls -l "$work/game/resource")" = "$before" ] || fail "something was written in the resource folder"
