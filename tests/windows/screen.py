# The X screen as window_e2e.sh reads it, through libX11 itself (no screenshot tool needed), and
# what it checks in the grabs of the open Skin menu. Grabs are binary PPM files (RGB).
#   screen.py grab OUT.ppm                     the whole screen of $DISPLAY
#   screen.py solid GRAB SIDE R,G,B...         each colour fills exactly one SIDE x SIDE square
#   screen.py icon GRAB PROPS LAYOUT OUT       slot 12's lobby preview (as props.mw4 holds it at the
#                                              layout's place) shown 1:1 with an orange dot in its top
#                                              right corner; the shown 32x32 icon is written to OUT
#   screen.py twice GRAB ICON                  that icon shown with each pixel a 2x2 block
#   screen.py png GRAB OUT.png W H             the grab's W x H desktop cropped to its windows, as PNG
import ctypes
import struct
import sys
import zlib


def grab(out):
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XDisplayWidth.argtypes = x.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XGetImage.restype = ctypes.c_void_p
    x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + [ctypes.c_uint] * 2 + \
        [ctypes.c_ulong, ctypes.c_int]

    class XImage(ctypes.Structure):  # its fields up to bits_per_pixel
        _fields_ = [(n, ctypes.c_int) for n in ("width", "height", "xoffset", "format")] + \
            [("data", ctypes.POINTER(ctypes.c_ubyte))] + \
            [(n, ctypes.c_int) for n in ("byte_order", "bitmap_unit", "bitmap_bit_order", "bitmap_pad", "depth",
                                         "bytes_per_line", "bits_per_pixel")]

    display = x.XOpenDisplay(None)
    assert display, "cannot open the X display"
    w, h = x.XDisplayWidth(display, 0), x.XDisplayHeight(display, 0)
    image = ctypes.cast(x.XGetImage(display, x.XDefaultRootWindow(display), 0, 0, w, h, 0xFFFFFFFF, 2),
                        ctypes.POINTER(XImage)).contents  # ZPixmap
    assert image.bits_per_pixel == 32 and image.byte_order == 0, "not a 24-bit little-endian screen"
    raw = ctypes.string_at(image.data, image.bytes_per_line * h)
    rgb = bytearray(w * h * 3)
    for y in range(h):  # B, G, R, X -> R, G, B
        row = raw[y * image.bytes_per_line:y * image.bytes_per_line + w * 4]
        for c in range(3):
            rgb[y * w * 3 + c:(y + 1) * w * 3:3] = row[2 - c::4]
    open(out, "wb").write(b"P6\n%d %d\n255\n" % (w, h) + bytes(rgb))


def read_grab(path):
    data = open(path, "rb").read()
    magic, size, depth, pixels = data.split(b"\n", 3)
    w, h = map(int, size.split())
    return w, h, [pixels[y * w * 3:(y + 1) * w * 3] for y in range(h)]


def pixel_hits(row, colour):
    at = row.find(colour)
    while at != -1:
        if at % 3 == 0:
            yield at // 3
        at = row.find(colour, at + 1)


def find_block(rows, block, compare):
    """Where block (rows of RGB bytes) is on the screen, found by its last row and checked by compare."""
    side = len(block)
    for y in range(side - 1, len(rows)):
        for x in pixel_hits(rows[y], block[-1]):
            top = y - side + 1
            if all(compare(rows[top + k][x * 3:x * 3 + len(block[k])], block[k], k) for k in range(side)):
                return x, top
    return None


def lobby_preview(props, layout):
    """Slot 12's lobby preview, from props.mw4 at the layout's place, as 32 rows of RGB."""
    place = [line.split() for line in open(layout) if line.startswith("props.mw4 ") and
             line.split()[1].endswith("\\lobbyskins\\skinb4.tga")]
    assert len(place) == 1, "slot 12's lobby entry is not in the layout"
    offset, length = int(place[0][4]), int(place[0][5])
    tga = open(props, "rb").read()[offset:offset + length]
    w, h = struct.unpack("<HH", tga[12:16])
    assert tga[2] == 2 and (w, h) == (32, 32) and tga[16] == 24, "the lobby entry is no 32x32 24-bit Targa"
    start = 18 + tga[0]
    rows = [tga[start + y * 96:start + (y + 1) * 96] for y in range(32)]
    if not tga[17] & 0x20:  # stored bottom-up
        rows.reverse()
    return [bytes(r[i + 2 - c] for i in range(0, 96, 3) for c in range(3)) for r in rows]  # BGR -> RGB


def main():
    what, args = sys.argv[1], sys.argv[2:]
    if what == "grab":
        return grab(args[0])
    w, h, rows = read_grab(args[0])
    if what == "solid":
        side = int(args[1])
        for colour in args[2:]:
            rgb = bytes(map(int, colour.split(",")))
            hits = [(x, y) for y in range(h) for x in pixel_hits(rows[y], rgb)]
            assert hits, f"no pixel of colour {colour} on the screen"
            xs, ys = [x for x, _ in hits], [y for _, y in hits]
            box = (max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)
            assert box == (side, side) and len(hits) == side * side, \
                f"colour {colour}: {len(hits)} pixels in a {box[0]}x{box[1]} box, not a filled {side}x{side} square"
    elif what == "icon":
        preview = lobby_preview(args[1], args[2])
        # The dot may only change the top right corner (12x12); everything else is the preview as it is.
        corner = lambda k: 20 * 3 if k < 12 else 32 * 3
        at = find_block(rows, preview, lambda shown, want, k: shown[:corner(k)] == want[:corner(k)])
        assert at, "slot 12's lobby preview is not on the screen one image pixel per screen pixel"
        x, y = at
        icon = [rows[y + k][x * 3:x * 3 + 96] for k in range(32)]
        orange = sum(1 for k in range(12) for i in range(20, 32) if icon[k][i * 3:i * 3 + 3] == bytes((255, 140, 0)))
        assert orange >= 9, f"the changed slot's icon has {orange} orange pixels in its top right corner"
        open(args[3], "wb").write(b"".join(icon))
    elif what == "twice":
        data = open(args[1], "rb").read()
        icon = [data[k * 96:(k + 1) * 96] for k in range(32)]
        doubled = [bytes(b for i in range(0, 96, 3) for b in icon[k // 2][i:i + 3] * 2) for k in range(64)]
        assert find_block(rows, doubled, lambda shown, want, k: shown == want), \
            "the icon is not shown enlarged 2x, each image pixel a 2x2 block of screen pixels"
    elif what == "png":
        # The desktop is the top left W x H of the screen; its own colour is that of its last pixel.
        dw, dh = int(args[2]), int(args[3])
        background = rows[dh - 1][(dw - 1) * 3:dw * 3]
        kept = [y for y in range(dh) if rows[y][:dw * 3] != background * dw]
        cols = [x for x in range(dw) if any(rows[y][x * 3:x * 3 + 3] != background for y in kept)]
        left, right, top, bottom = min(cols), max(cols) + 1, min(kept), max(kept) + 1
        crop = [bytes((right - left) * 3)] + [rows[y][left * 3:right * 3] for y in range(top, bottom)]
        # Each row stored as its difference from the row above (PNG filter 2), which packs flat areas well.
        raw = b"".join(b"\2" + bytes((a - b) & 255 for a, b in zip(crop[k], crop[k - 1])) for k in range(1, len(crop)))
        chunk = lambda kind, body: struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
        header = struct.pack(">IIBBBBB", right - left, bottom - top, 8, 2, 0, 0, 0)
        open(args[1], "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
                                  chunk(b"IEND", b""))
    else:
        sys.exit(f"unknown: {what}")


if __name__ == "__main__":
    try:
        main()
    except AssertionError as e:
        sys.exit(str(e))
