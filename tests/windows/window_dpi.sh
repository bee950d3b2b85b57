#!/usr/bin/env bash
# quorlin.exe at 96 and at 144 DPI (Wine's LogPixels) on Xvfb, given a game and a
# picture in folders named in Cyrillic and Chinese letters on its command line: it
# lays itself out at that DPI, and its screen grab holds the picture one image pixel
# per screen pixel, at the picture box's place (the client area's origin plus 12,4
# scaled). QUORLIN_GRABS=DIR keeps the grabs there.
#   window_dpi.sh QUORLIN.EXE LINUX-MAKE-SAMPLE-GAME   (in $WINEPREFIX)
set -euo pipefail
window="$1" maker="$2"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
if [ ! -f "${WINEPREFIX:-/nonexistent}/.quorlin-throwaway" ]; then
  echo "FAIL: refusing to change the DPI outside a throw-away Wine prefix"
  exit 1
fi
work="$(mktemp -d /tmp/quorlin-dpi.XXXXXX)"
# An X server on a display number it picks free (tests run side by side).
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xserver=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display="$(cat "$work/display")"
dpi() { wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; }
trap 'kill $xserver 2>/dev/null; dpi 96 || true; rm -rf "$work"' EXIT
export DISPLAY=":$display"
winpath() { echo "Z:${1//\//\\}"; }
game="$work/игра 游戏 é"
"$maker" "$game" --fillers 20 >/dev/null

for at in 96 144; do
  dpi "$at"
  if ! QUORLIN_TEST_AUTO_ANSWER=yes QUORLIN_TEST_SCREENSHOT="$(winpath "$work/grab-$at.png")" timeout 90 \
    wine explorer /desktop=quorlin-dpi,1024x1000 "$window" --game "$(winpath "$game")" "$(winpath "$game/sample-skin.bmp")" \
    >"$work/log" 2>&1; then
    cat "$work/log"
    echo "FAIL: quorlin.exe at $at DPI did not come up and end with 0"
    exit 1
  fi
  python3 - "$work/grab-$at.png" "$game/sample-skin.bmp" "$work/log" "$at" <<'PY'
import re, struct, sys, zlib
grab, bmp, log, dpi = sys.argv[1], open(sys.argv[2], "rb").read(), open(sys.argv[3]).read(), int(sys.argv[4])
data, pos, idat = open(grab, "rb").read(), 8, b""
while pos < len(data):  # the grab's PNG chunks, then its rows unfiltered
    n, kind = struct.unpack(">I4s", data[pos:pos + 8])
    if kind == b"IHDR":
        width, height, _, color = struct.unpack(">IIBB", data[pos + 8:pos + 18])
    idat += data[pos + 8:pos + 8 + n] if kind == b"IDAT" else b""
    pos += 12 + n
bpp, raw, rows = {2: 3, 6: 4}[color], zlib.decompress(idat), []
stride, prev = width * bpp, bytearray(width * bpp)
for y in range(height):
    kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        a, b, c = line[i - bpp] if i >= bpp else 0, prev[i], prev[i - bpp] if i >= bpp else 0
        p = a + b - c
        line[i] = (line[i] + [0, a, b, (a + b) // 2, a if abs(p - a) <= min(abs(p - b), abs(p - c))
                                else b if abs(p - b) <= abs(p - c) else c][kind]) & 255
    rows.append(line)
    prev = line
(cx, cy), (px, py) = [tuple(map(int, re.search(w + r" at (-?\d+),(-?\d+)", log).groups())) for w in ("client", "picture")]
scaled = (cx + (12 * dpi + 48) // 96, cy + (4 * dpi + 48) // 96)
assert (px, py) == scaled, f"{dpi} DPI: the picture box at {px},{py}, not {scaled}"
for y in list(range(0, 512, 7)) + [511]:
    for x in list(range(0, 512, 7)) + [511]:
        b, g, r = bmp[54 + (511 - y) * 1536 + x * 3:57 + (511 - y) * 1536 + x * 3]
        shown = tuple(rows[py + y][(px + x) * bpp:(px + x) * bpp + 3])
        assert shown == (r, g, b), f"{dpi} DPI: picture pixel {x},{y} shows as {shown}, not {(r, g, b)}"
PY
  [ -f "$game/resource/textures.inx" ] || { echo "FAIL: the game in its folder was not indexed"; exit 1; }
  if [ -n "${QUORLIN_GRABS:-}" ]; then cp "$work/grab-$at.png" "$QUORLIN_GRABS/window-windows-${at}dpi.png"; fi
  echo "ok   at $at DPI the picture is drawn one image pixel per screen pixel in the laid-out window"
done
