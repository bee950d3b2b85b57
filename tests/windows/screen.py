# What window_e2e.sh checks in the open Skin menu, on the X screen of $DISPLAY read through libX11 itself
# (no screenshot tool needed); each check grabs the screen again, up to six times, until it passes.
#   screen.py solid SIDE R,G,B...              each colour fills exactly one SIDE x SIDE square
#   screen.py icon PROPS LAYOUT OUT [PNG]      slot 12's lobby preview (as props.mw4 holds it at the layout's
#       place) shown 1:1 with an orange dot in its top right corner; the shown 32x32 icon is written to OUT
#       (RGB), and the grab's 1024x768 desktop, cropped to its windows, to PNG
#   screen.py twice ICON                       that icon shown with each pixel a 2x2 block
import ctypes, re, struct, sys, time, zlib


def grab():
    """The whole screen as rows of RGB bytes."""
    c, x = ctypes, ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = x.XGetImage.restype = c.c_void_p
    x.XDefaultRootWindow.restype = c.c_ulong
    x.XDefaultRootWindow.argtypes = [c.c_void_p]
    x.XDisplayWidth.argtypes = x.XDisplayHeight.argtypes = [c.c_void_p, c.c_int]
    x.XGetImage.argtypes = [c.c_void_p, c.c_ulong] + [c.c_int] * 2 + [c.c_uint] * 2 + [c.c_ulong, c.c_int]

    class XImage(c.Structure):  # its fields up to bits_per_pixel
        ints = lambda names: [(n, c.c_int) for n in names.split()]
        _fields_ = ints("width height xoffset format") + [("data", c.POINTER(c.c_ubyte))] + \
            ints("byte_order bitmap_unit bitmap_bit_order bitmap_pad depth bytes_per_line bits_per_pixel")

    display = x.XOpenDisplay(None)
    assert display, "cannot open the X display"
    w, h = x.XDisplayWidth(display, 0), x.XDisplayHeight(display, 0)
    image = c.cast(x.XGetImage(display, x.XDefaultRootWindow(display), 0, 0, w, h, 0xFFFFFFFF, 2),
                   c.POINTER(XImage)).contents  # ZPixmap
    assert image.bits_per_pixel == 32 and image.byte_order == 0 and image.bytes_per_line == w * 4, \
        "not a 24-bit little-endian screen"
    raw, rgb = c.string_at(image.data, w * h * 4), bytearray(w * h * 3)
    for k in range(3):  # B, G, R, X -> R, G, B
        rgb[k::3] = raw[2 - k::4]
    return [bytes(rgb[y * w * 3:(y + 1) * w * 3]) for y in range(h)]


def hits(row, pixels):
    """Where the RGB bytes start in the row, in whole pixels (overlapping starts too)."""
    return [m.start() // 3 for m in re.finditer(b"(?=%s)" % re.escape(pixels), row) if m.start() % 3 == 0]


def find_block(rows, block, compare):
    """Where block (rows of RGB bytes) is on the screen, found by its last row and checked by compare."""
    side = len(block)
    for y in range(side - 1, len(rows)):
        for x in hits(rows[y], block[-1]):
            top = y - side + 1
            if all(compare(rows[top + k][x * 3:x * 3 + len(block[k])], block[k], k) for k in range(side)):
                return x, top
    return None


def solid(rows, side, *colours):
    for colour in colours:
        at = [(x, y) for y, row in enumerate(rows) for x in hits(row, bytes(map(int, colour.split(","))))]
        assert at, f"no pixel of colour {colour} on the screen"
        box = (max(x for x, _ in at) - min(x for x, _ in at) + 1, max(y for _, y in at) - min(y for _, y in at) + 1)
        assert box == (int(side),) * 2 and len(at) == int(side) ** 2, \
            f"colour {colour}: {len(at)} pixels in a {box[0]}x{box[1]} box, not a filled {side}x{side} square"


def icon(rows, props, layout, out, png=None):
    place = [line.split() for line in open(layout) if line.startswith("props.mw4 ") and
             line.split()[1].endswith("\\lobbyskins\\skinb4.tga")]
    assert len(place) == 1, "slot 12's lobby entry is not in the layout"
    tga = open(props, "rb").read()[int(place[0][4]):int(place[0][4]) + int(place[0][5])]  # 32x32, 24-bit
    preview = [tga[18 + tga[0] + y * 96:18 + tga[0] + (y + 1) * 96] for y in range(32)]
    if not tga[17] & 0x20:  # stored bottom-up
        preview.reverse()
    preview = [bytes(r[i + 2 - c] for i in range(0, 96, 3) for c in range(3)) for r in preview]  # BGR -> RGB
    # The dot may only change the top right corner (12x12); everything else is the preview as it is.
    corner = lambda k: 20 * 3 if k < 12 else 32 * 3
    at = find_block(rows, preview, lambda shown, want, k: shown[:corner(k)] == want[:corner(k)])
    assert at, "slot 12's lobby preview is not on the screen one image pixel per screen pixel"
    found = [rows[at[1] + k][at[0] * 3:at[0] * 3 + 96] for k in range(32)]
    orange = sum(1 for k in range(12) for i in range(20, 32) if found[k][i * 3:i * 3 + 3] == bytes((255, 140, 0)))
    assert orange >= 9, f"the changed slot's icon has {orange} orange pixels in its top right corner"
    open(out, "wb").write(b"".join(found))
    if png:
        write_png(rows, png, 1024, 768)


def twice(rows, path):
    data = open(path, "rb").read()
    wide = [bytes(b for i in range(0, 96, 3) for b in data[k * 96 + i:k * 96 + i + 3] * 2) for k in range(32)]
    assert find_block(rows, [wide[k // 2] for k in range(64)], lambda shown, want, k: shown == want), \
        "the icon is not shown enlarged 2x, each image pixel a 2x2 block of screen pixels"


def write_png(rows, out, dw, dh):
    # The desktop is the top left dw x dh of the screen; its own colour is that of its last pixel.
    background = rows[dh - 1][(dw - 1) * 3:dw * 3]
    kept = [y for y in range(dh) if rows[y][:dw * 3] != background * dw]
    cols = [x for x in range(dw) if any(rows[y][x * 3:x * 3 + 3] != background for y in kept)]
    left, right, top, bottom = min(cols), max(cols) + 1, min(kept), max(kept) + 1
    crop = [bytes((right - left) * 3)] + [rows[y][left * 3:right * 3] for y in range(top, bottom)]
    # Each row stored as its difference from the row above (PNG filter 2), which packs flat areas well.
    raw = b"".join(b"\2" + bytes((a - b) & 255 for a, b in zip(crop[k], crop[k - 1])) for k in range(1, len(crop)))
    chunk = lambda kind, body: struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    header = struct.pack(">IIBBBBB", right - left, bottom - top, 8, 2, 0, 0, 0)
    open(out, "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
                          chunk(b"IEND", b""))


if __name__ == "__main__":
    for attempt in range(6):  # the menu may not be drawn yet
        try:
            sys.exit({"solid": solid, "icon": icon, "twice": twice}[sys.argv[1]](grab(), *sys.argv[2:]))
        except AssertionError as e:
            if attempt == 5:
                sys.exit(str(e))
            time.sleep(0.5)
