#!/usr/bin/env python3
"""Draws Pradex's artwork: a printer sending network waves.

Writes, next to this script:
  banner.bmp                          62 x 46, 4 bits per pixel, 16-colour palette; RGB(192,192,192)
                                      where the window's background is to show through
  pradex-32.ico                       one image, 32 x 32, 16 colours (4 bpp) with AND mask
  pradex-48.ico                       one image, 48 x 48, 24-bit with AND mask
  icons/hicolor/<n>x<n>/apps/pradex.png   n = 32, 48, 128, 256; RGBA
  icons/hicolor/scalable/apps/pradex.svg  the icon's shapes as SVG, for any size

Everything is drawn from the shapes below, so the output is the same on every run. The
16-colour images are sampled once per pixel centre for crisp edges in the fixed palette; the
true-colour images are anti-aliased.

  make-artwork.py           write the files
  make-artwork.py --check   verify that the committed files match what the script draws
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# The standard 16-colour palette of the Windows dialog era, in its usual order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, TEAL, SILVER, GRAY, LIME, BLUE, WHITE = 0, 4, 6, 7, 8, 10, 12, 15
KEY = SILVER  # the banner's transparent colour, RGB(192, 192, 192); no shape is drawn with it


# ----------------------------------------------------------------------------------------------
# Shapes, in drawing units (y grows downwards). Each has a true colour (flat or a vertical
# gradient) and a palette index for the 16-colour images.

class Shape:
    def __init__(self, colour, index, bottom_colour=None, top=0.0, bottom=1.0):
        self.colour = colour
        self.bottom_colour = bottom_colour
        self.index = index
        self.top = top
        self.bottom = bottom

    def rgb(self, y):
        if self.bottom_colour is None:
            return self.colour
        t = min(1.0, max(0.0, (y - self.top) / (self.bottom - self.top)))
        return tuple(a + (b - a) * t for a, b in zip(self.colour, self.bottom_colour))


class RoundRect(Shape):
    def __init__(self, x0, y0, x1, y1, radius, colour, index, bottom_colour=None):
        super().__init__(colour, index, bottom_colour, y0, y1)
        self.box = (x0, y0, x1, y1)
        self.radius = radius

    def contains(self, x, y):
        x0, y0, x1, y1 = self.box
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        r = self.radius
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


class Circle(Shape):
    def __init__(self, cx, cy, radius, colour, index):
        super().__init__(colour, index)
        self.centre = (cx, cy)
        self.radius = radius

    def contains(self, x, y):
        return (x - self.centre[0]) ** 2 + (y - self.centre[1]) ** 2 <= self.radius ** 2


class Arc(Shape):
    """A band of the given width along a circle, between two angles (degrees, counter-clockwise
    from the positive x axis as seen on screen), with round ends."""

    def __init__(self, cx, cy, radius, width, start, end, colour, index):
        super().__init__(colour, index)
        self.centre = (cx, cy)
        self.radius = radius
        self.half = width / 2.0
        self.start = start
        self.end = end
        self.ends = [(cx + radius * math.cos(math.radians(a)), cy - radius * math.sin(math.radians(a)))
                     for a in (start, end)]

    def contains(self, x, y):
        dx, dy = x - self.centre[0], self.centre[1] - y
        if abs(math.hypot(dx, dy) - self.radius) <= self.half:
            angle = math.degrees(math.atan2(dy, dx))
            if self.start <= angle <= self.end:
                return True
        return any((x - ex) ** 2 + (y - ey) ** 2 <= self.half ** 2 for ex, ey in self.ends)


def framed(x0, y0, x1, y1, radius, frame, frame_colour, frame_index, fill, fill_index,
           fill_bottom=None):
    """A rounded rectangle with a frame of width `frame` around it (frame drawn first)."""
    return [
        RoundRect(x0 - frame, y0 - frame, x1 + frame, y1 + frame, radius + frame, frame_colour,
                  frame_index),
        RoundRect(x0, y0, x1, y1, radius, fill, fill_index, fill_bottom),
    ]


OUTLINE = (0x2e, 0x37, 0x42)
BODY_TOP, BODY_BOTTOM = (0xf7, 0xf9, 0xfb), (0xbf, 0xc8, 0xd1)
SLOT = (0x1f, 0x25, 0x2c)
PAPER = (0xff, 0xff, 0xff)
PAPER_EDGE = (0x7d, 0x88, 0x94)
INK = (0x6f, 0x8f, 0xb5)
DISPLAY = (0x1f, 0x6f, 0x8b)
LED = (0x2f, 0xc1, 0x4f)
WAVE = (0x16, 0x6f, 0xe0)


def printer(dx, dy):
    """The printer, its top-left area at (dx, dy); about 86 x 74 units."""
    shapes = []
    # Sheet waiting in the feeder, behind the body, with a few lines of text.
    shapes += framed(dx + 20, dy + 2, dx + 56, dy + 34, 1.5, 2.5, PAPER_EDGE, GRAY, PAPER, WHITE)
    for i, (a, b) in enumerate([(25, 51), (25, 46), (25, 49)]):
        y = dy + 9 + i * 7
        shapes.append(RoundRect(dx + a, y, dx + b, y + 3, 1.2, INK, NAVY))
    # Body.
    shapes += framed(dx + 4, dy + 28, dx + 86, dy + 62, 7, 3.2, OUTLINE, BLACK, BODY_TOP, WHITE,
                     BODY_BOTTOM)
    shapes.append(RoundRect(dx + 4, dy + 50, dx + 86, dy + 62, 4, BODY_BOTTOM, GRAY,
                            (0xa9, 0xb3, 0xbd)))
    # Control panel: a display and a green ready light.
    shapes.append(RoundRect(dx + 11, dy + 34, dx + 33, dy + 42, 1.5, DISPLAY, TEAL))
    shapes.append(Circle(dx + 76, dy + 38, 4, LED, LIME))
    # Output slot and the printed sheet coming out of it.
    shapes.append(RoundRect(dx + 17, dy + 47, dx + 73, dy + 53, 2, SLOT, BLACK))
    shapes += framed(dx + 24, dy + 51, dx + 66, dy + 72, 1.5, 2.5, PAPER_EDGE, GRAY, PAPER, WHITE)
    for i, (a, b) in enumerate([(29, 61), (29, 55)]):
        y = dy + 57 + i * 7
        shapes.append(RoundRect(dx + a, y, dx + b, y + 3, 1.2, INK, NAVY))
    return shapes


def waves(cx, cy, radii, width, start, end, dot):
    shapes = [Circle(cx, cy, dot, WAVE, BLUE)]
    shapes += [Arc(cx, cy, r, width, start, end, WAVE, BLUE) for r in radii]
    return shapes


# The icon: printer at the bottom left, waves rising to the upper right (100 x 100 units).
ICON_SCENE = (100.0, 100.0,
              printer(2, 24) + waves(66, 36, (10, 19.5, 29), 5.5, 0, 90, 4.5))
# The 32-pixel icons: two wider waves, which stay apart at that size.
SMALL_ICON_SCENE = (100.0, 100.0,
                    printer(2, 24) + waves(66, 38, (13, 26), 7, 0, 90, 5))
# The banner beside the product name: printer on the left, waves running to the right
# (135 x 100 units, the 62 x 46 pixel aspect).
BANNER_SCENE = (135.0, 100.0,
                printer(0, 14) + waves(98, 42, (12, 22, 32), 6.5, -50, 50, 5))


# ----------------------------------------------------------------------------------------------
# Rendering.

def hit(shapes, x, y):
    for shape in reversed(shapes):
        if shape.contains(x, y):
            return shape
    return None


def render_indexed(scene, width, height):
    """Palette indices, None where nothing is drawn; one sample at each pixel centre."""
    w_units, h_units, shapes = scene
    sx, sy = w_units / width, h_units / height
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            shape = hit(shapes, (px + 0.5) * sx, (py + 0.5) * sy)
            row.append(None if shape is None else shape.index)
        rows.append(row)
    return rows


def render_rgba(scene, width, height, samples=4):
    """RGBA bytes per pixel, anti-aliased with samples x samples points per pixel."""
    w_units, h_units, shapes = scene
    sx, sy = w_units / width, h_units / height
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            total = [0.0, 0.0, 0.0]
            covered = 0
            for j in range(samples):
                for i in range(samples):
                    x = (px + (i + 0.5) / samples) * sx
                    y = (py + (j + 0.5) / samples) * sy
                    shape = hit(shapes, x, y)
                    if shape is not None:
                        colour = shape.rgb(y)
                        for k in range(3):
                            total[k] += colour[k]
                        covered += 1
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(c / covered)) for c in total)
                           + (int(round(255 * covered / samples ** 2)),))
        rows.append(row)
    return rows


# ----------------------------------------------------------------------------------------------
# File formats.

def bitmap_info_header(width, height, bits, image_size, colours_used):
    # BITMAPINFOHEADER: 40 bytes, one plane, BI_RGB, 96 dpi.
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0, image_size, 3780, 3780,
                       colours_used, 0)


def palette_bytes():
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)


def pack_4bpp(rows, fill):
    """Rows bottom-up, two pixels a byte (high nibble first), each row padded to 4 bytes."""
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for i in range(0, len(row), 2):
            a = fill if row[i] is None else row[i]
            b = fill if i + 1 >= len(row) or row[i + 1] is None else row[i + 1]
            line.append(a << 4 | b)
        line += bytes(-len(line) % 4)
        data += line
    return bytes(data)


def and_mask(opaque_rows):
    """1 bit a pixel, 1 = transparent, rows bottom-up and padded to 4 bytes."""
    data = bytearray()
    for row in reversed(opaque_rows):
        line = bytearray((len(row) + 7) // 8)
        for i, opaque in enumerate(row):
            if not opaque:
                line[i // 8] |= 0x80 >> (i % 8)
        line += bytes(-len(line) % 4)
        data += line
    return bytes(data)


def make_bmp(rows):
    height, width = len(rows), len(rows[0])
    pixels = pack_4bpp(rows, KEY)
    offset = 14 + 40 + 16 * 4
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return header + bitmap_info_header(width, height, 4, len(pixels), 16) + palette_bytes() + pixels


def make_ico(width, height, colour_count, bits, image):
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', width % 256, height % 256, colour_count, 0, 1, bits,
                        len(image), 6 + 16)
    return directory + entry + image


def make_ico_4bpp(rows):
    height, width = len(rows), len(rows[0])
    # Transparent pixels are black in the colour image, so that AND then XOR leaves the screen.
    xor = pack_4bpp(rows, BLACK)
    mask = and_mask([[p is not None for p in row] for row in rows])
    image = (bitmap_info_header(width, 2 * height, 4, len(xor) + len(mask), 0) + palette_bytes()
             + xor + mask)
    return make_ico(width, height, 16, 4, image)


def make_ico_24bpp(rgba_rows):
    height, width = len(rgba_rows), len(rgba_rows[0])
    opaque = [[p[3] >= 128 for p in row] for row in rgba_rows]
    xor = bytearray()
    for row, solid in zip(reversed(rgba_rows), reversed(opaque)):
        line = bytearray()
        for (r, g, b, _), keep in zip(row, solid):
            line += bytes((b, g, r)) if keep else bytes(3)
        line += bytes(-len(line) % 4)
        xor += line
    mask = and_mask(opaque)
    image = bitmap_info_header(width, 2 * height, 24, len(xor) + len(mask), 0) + bytes(xor) + mask
    return make_ico(width, height, 0, 24, image)


def png_chunk(kind, data):
    return (struct.pack('>I', len(data)) + kind + data
            + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))


def png_raw(rgba_rows):
    return b''.join(b'\x00' + bytes(c for p in row for c in p) for row in rgba_rows)


def make_png(rgba_rows):
    height, width = len(rgba_rows), len(rgba_rows[0])
    ihdr = struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', ihdr)
            + png_chunk(b'IDAT', zlib.compress(png_raw(rgba_rows), 9)) + png_chunk(b'IEND', b''))


def png_pixels(data):
    """IHDR and the decompressed image data of a PNG (to compare across zlib versions)."""
    pos, ihdr, idat = 8, b'', b''
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            ihdr = body
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
    return ihdr, zlib.decompress(idat)


# ----------------------------------------------------------------------------------------------

ICON_SIZES = (32, 48, 128, 256)


def svg_number(value):
    return ('%.2f' % value).rstrip('0').rstrip('.')


def svg_colour(rgb):
    return '#%02x%02x%02x' % tuple(int(round(c)) for c in rgb)


def make_svg(scene):
    """The scene's shapes as SVG elements, in drawing order, in the scene's own units."""
    width, height, shapes = scene
    defs, body = [], []
    for shape in shapes:
        fill = svg_colour(shape.colour)
        if shape.bottom_colour is not None:
            name = 'g%d' % len(defs)
            defs.append('<linearGradient id="%s" gradientUnits="userSpaceOnUse" x1="0" y1="%s" '
                        'x2="0" y2="%s"><stop offset="0" stop-color="%s"/>'
                        '<stop offset="1" stop-color="%s"/></linearGradient>'
                        % (name, svg_number(shape.top), svg_number(shape.bottom), fill,
                           svg_colour(shape.bottom_colour)))
            fill = 'url(#%s)' % name
        n = svg_number
        if isinstance(shape, RoundRect):
            x0, y0, x1, y1 = shape.box
            body.append('<rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="%s"/>'
                        % (n(x0), n(y0), n(x1 - x0), n(y1 - y0), n(shape.radius), fill))
        elif isinstance(shape, Circle):
            body.append('<circle cx="%s" cy="%s" r="%s" fill="%s"/>'
                        % (n(shape.centre[0]), n(shape.centre[1]), n(shape.radius), fill))
        elif isinstance(shape, Arc):
            (sx, sy), (ex, ey) = shape.ends
            body.append('<path d="M%s %sA%s %s 0 0 0 %s %s" fill="none" stroke="%s" '
                        'stroke-width="%s" stroke-linecap="round"/>'
                        % (n(sx), n(sy), n(shape.radius), n(shape.radius), n(ex), n(ey), fill,
                           n(shape.half * 2)))
    lines = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" '
             'viewBox="0 0 %s %s">' % (svg_number(width), svg_number(height))]
    if defs:
        lines.append('<defs>' + ''.join(defs) + '</defs>')
    lines += body
    lines.append('</svg>')
    return ('\n'.join(lines) + '\n').encode('ascii')


def artwork():
    files = {
        'banner.bmp': make_bmp(render_indexed(BANNER_SCENE, 62, 46)),
        'pradex-32.ico': make_ico_4bpp(render_indexed(SMALL_ICON_SCENE, 32, 32)),
        'pradex-48.ico': make_ico_24bpp(render_rgba(ICON_SCENE, 48, 48)),
    }
    for size in ICON_SIZES:
        scene = SMALL_ICON_SCENE if size < 48 else ICON_SCENE
        samples = 4 if size <= 128 else 3
        files[f'icons/hicolor/{size}x{size}/apps/pradex.png'] = make_png(
            render_rgba(scene, size, size, samples))
    files['icons/hicolor/scalable/apps/pradex.svg'] = make_svg(ICON_SCENE)
    return files


def main(argv):
    check = argv[1:] == ['--check']
    if argv[1:] and not check:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    stale = []
    for name, data in artwork().items():
        path = os.path.join(HERE, *name.split('/'))
        if check:
            try:
                with open(path, 'rb') as f:
                    current = f.read()
            except OSError:
                stale.append(name)
                continue
            same = (png_pixels(current) == png_pixels(data) if name.endswith('.png')
                    else current == data)
            if not same:
                stale.append(name)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, 'wb') as f:
                f.write(data)
    if stale:
        print('artwork differs from make-artwork.py: ' + ', '.join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
