#!/usr/bin/env python3
"""Draws the launcher's icon and writes it as a classic .ico file.

    icongen.py six  OUT.ico   16x16 and 32x32 at 1, 4 and 8 bits per pixel
    icongen.py nine OUT.ico   16x16, 32x32 and 48x48 at 4, 8 and 32 bits per pixel

The artwork is drawn by code at each size, so no binary image lives in the
source tree. Only the standard library is used: this runs at build time on
any machine that can cross-compile the Windows programs.
"""

import struct
import sys

# --- Artwork ---------------------------------------------------------------
#
# A presentation screen on a small stand, a play triangle on the screen and a
# music note at its upper right. Shapes are tested in unit coordinates
# (0..1, y downwards); later layers paint over earlier ones.

TRANSPARENT = None

# Each layer: name, true colour, index in the 16-colour palette, 1-bit value.
# The 16-colour and 1-bit choices are made by hand rather than by nearest
# colour, because at those depths legibility matters more than hue.
LAYERS = {
    "frame":    ((38, 48, 74),    0,          0),   # black in 16 colours
    "screen":   ((52, 120, 214),  12,         1),   # bright blue / white
    "play":     ((250, 250, 250), 15,         0),   # white / black
    "outline":  ((38, 48, 74),    0,          0),   # keeps the note apart from the screen
    "note":     ((255, 196, 36),  11,         1),   # yellow / white
}


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def convex_polygon(points):
    """Points listed clockwise on screen (y down)."""
    edges = list(zip(points, points[1:] + points[:1]))

    def inside(x, y):
        return all((bx - ax) * (y - ay) - (by - ay) * (x - ax) >= 0
                   for (ax, ay), (bx, by) in edges)
    return inside


def tilted_ellipse(cx, cy, rx, ry, slope):
    """An ellipse sheared upwards to the right, like a printed note head."""
    def inside(x, y):
        dx = x - cx
        dy = (y - cy) + slope * dx
        return (dx / rx) ** 2 + (dy / ry) ** 2 <= 1.0
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def grown(shape, by):
    """The shape widened by about `by` in every direction."""
    d = by * 0.7071
    ring = [(0, 0), (by, 0), (-by, 0), (0, by), (0, -by), (d, d), (d, -d), (-d, d), (-d, -d)]
    return lambda x, y: any(shape(x + dx, y + dy) for dx, dy in ring)


def artwork(size):
    """The shapes in painting order, each with the layer that colours it."""
    stand = union(convex_polygon([(0.42, 0.78), (0.58, 0.78), (0.60, 0.88), (0.40, 0.88)]),
                  rounded_rect(0.26, 0.86, 0.74, 0.94, 0.03))
    frame = union(rounded_rect(0.02, 0.10, 0.90, 0.82, 0.10), stand)
    screen = rounded_rect(0.09, 0.17, 0.83, 0.75, 0.05)
    play = convex_polygon([(0.24, 0.27), (0.56, 0.46), (0.24, 0.65)])
    note_head = tilted_ellipse(0.77, 0.70, 0.115, 0.085, 0.45)
    note_stem = convex_polygon([(0.82, 0.12), (0.90, 0.12), (0.90, 0.68), (0.82, 0.68)])
    note_flag = convex_polygon([(0.82, 0.04), (0.99, 0.16), (0.99, 0.30), (0.82, 0.18)])
    note = union(note_head, note_stem, note_flag)
    return [
        (frame, "frame"),
        (screen, "screen"),
        (play, "play"),
        (grown(note, 1.2 / size), "outline"),  # about one pixel at every size
        (note, "note"),
    ]


def layer_at(shapes, x, y):
    top = TRANSPARENT
    for inside, layer in shapes:
        if inside(x, y):
            top = layer
    return top


class Rendering:
    """One size of the artwork, sampled several times per pixel."""

    SAMPLES = 6  # per axis

    def __init__(self, size):
        self.size = size
        shapes = artwork(size)
        n = self.SAMPLES
        offsets = [(i + 0.5) / n for i in range(n)]
        self.samples = [
            [[layer_at(shapes, (px + ox) / size, (py + oy) / size)
              for oy in offsets for ox in offsets]
             for px in range(size)]
            for py in range(size)]

    def dominant_layer(self, x, y):
        """The layer that covers most of the pixel, transparency included."""
        hits = self.samples[y][x]
        return max(set(hits), key=lambda layer: (hits.count(layer), layer is TRANSPARENT))

    def colour_and_alpha(self, x, y):
        """Mean colour of the painted samples and the share of them (0..255)."""
        painted = [LAYERS[layer][0] for layer in self.samples[y][x] if layer is not TRANSPARENT]
        if not painted:
            return (0, 0, 0), 0
        mean = tuple(round(sum(c[i] for c in painted) / len(painted)) for i in range(3))
        return mean, round(255 * len(painted) / len(self.samples[y][x]))


# --- Pixel formats ---------------------------------------------------------

VGA_PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
MONO_PALETTE = [(0, 0, 0), (255, 255, 255)]


class Pixels:
    """What one icon image needs: palette (or none), pixel values, mask."""

    def __init__(self, bits, palette, values, transparent):
        self.bits = bits
        self.palette = palette          # list of RGB, empty for 32 bits
        self.values = values            # rows top-down: indices or (r, g, b, a)
        self.transparent = transparent  # rows top-down: True where the AND mask is set


def hard_edged(rendering, pick):
    """Index pixels from their dominant layer; transparent ones get index 0
    so that the classic AND/XOR composition leaves the background untouched."""
    size = rendering.size
    layers = [[rendering.dominant_layer(x, y) for x in range(size)] for y in range(size)]
    values = [[0 if layer is TRANSPARENT else pick(LAYERS[layer]) for layer in row]
              for row in layers]
    transparent = [[layer is TRANSPARENT for layer in row] for row in layers]
    return values, transparent


def mono(rendering):
    values, transparent = hard_edged(rendering, lambda layer: layer[2])
    return Pixels(1, MONO_PALETTE, values, transparent)


def sixteen_colours(rendering):
    values, transparent = hard_edged(rendering, lambda layer: layer[1])
    return Pixels(4, VGA_PALETTE, values, transparent)


def reduce_to_palette(colours, limit):
    """Drops low bits from every channel until no more than `limit` colours remain."""
    for dropped in range(0, 8):
        step = 1 << dropped
        palette = sorted({tuple(min(255, (c // step) * step + step // 2 if dropped else c)
                                for c in colour) for colour in colours})
        if len(palette) <= limit:
            return palette, step
    raise AssertionError("unreachable: 8 dropped bits leave one colour")


def index_of(colour, palette, step):
    if step > 1:
        colour = tuple(min(255, (c // step) * step + step // 2) for c in colour)
    return palette.index(colour)


def two_fifty_six_colours(rendering):
    """Smooth inner edges, hard outline: a palette image has only a 1-bit mask."""
    size = rendering.size
    transparent = [[rendering.dominant_layer(x, y) is TRANSPARENT for x in range(size)]
                   for y in range(size)]
    colours = [[rendering.colour_and_alpha(x, y)[0] for x in range(size)] for y in range(size)]
    opaque = {colours[y][x] for y in range(size) for x in range(size) if not transparent[y][x]}
    palette, step = reduce_to_palette(opaque | {(0, 0, 0)}, 256)
    values = [[0 if transparent[y][x] else index_of(colours[y][x], palette, step)
               for x in range(size)] for y in range(size)]
    black = palette.index((0, 0, 0) if step == 1 else (step // 2,) * 3)
    if black != 0:
        # Index 0 must be the colour that transparent pixels carry.
        palette[0], palette[black] = palette[black], palette[0]
        swap = {0: black, black: 0}
        values = [[swap.get(v, v) for v in row] for row in values]
    return Pixels(8, palette, values, transparent)


def true_colour(rendering):
    size = rendering.size
    values, transparent = [], []
    for y in range(size):
        row, mask = [], []
        for x in range(size):
            (r, g, b), a = rendering.colour_and_alpha(x, y)
            row.append((r, g, b, a))
            # Programs that ignore alpha fall back to the mask.
            mask.append(a < 128)
        values.append(row)
        transparent.append(mask)
    return Pixels(32, [], values, transparent)


FORMATS = {1: mono, 4: sixteen_colours, 8: two_fifty_six_colours, 32: true_colour}


# --- .ico encoding ---------------------------------------------------------

def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def pack_bits(values, bits):
    """Packs one row of small values, most significant bits first."""
    per_byte = 8 // bits
    out = bytearray()
    for start in range(0, len(values), per_byte):
        chunk = values[start:start + per_byte]
        byte = 0
        for i, v in enumerate(chunk):
            byte |= v << (8 - bits * (i + 1))
        out.append(byte)
    return bytes(out)


def xor_row(row, bits):
    if bits == 32:
        return b"".join(struct.pack("<4B", b, g, r, a) for r, g, b, a in row)
    return pack_bits(row, bits)


def dib(pixels, size):
    """BITMAPINFOHEADER (height doubled for the mask), palette, XOR rows, AND rows."""
    xor = b"".join(padded(xor_row(row, pixels.bits)) for row in reversed(pixels.values))
    and_mask = b"".join(padded(pack_bits([int(t) for t in row], 1))
                        for row in reversed(pixels.transparent))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, pixels.bits, 0,
                         len(xor) + len(and_mask), 0, 0, 0, 0)
    # A zero colour count means a full table, so the unused entries are written as black.
    colours = pixels.palette + [(0, 0, 0)] * ((1 << pixels.bits if pixels.palette else 0)
                                              - len(pixels.palette))
    palette = b"".join(struct.pack("<4B", b, g, r, 0) for r, g, b in colours)
    return header + palette + xor + and_mask


def ico(images):
    """images: list of (size, bits, dib bytes)."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries, data = b"", b""
    for size, bits, image in images:
        colour_count = 1 << bits if bits < 8 else 0
        entries += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, bits,
                               len(image), offset + len(data))
        data += image
    return directory + entries + data


VARIANTS = {
    "six": [(16, 1), (16, 4), (16, 8), (32, 1), (32, 4), (32, 8)],
    "nine": [(16, 4), (16, 8), (16, 32), (32, 4), (32, 8), (32, 32),
             (48, 4), (48, 8), (48, 32)],
}


def build(variant):
    renderings = {}
    images = []
    for size, bits in VARIANTS[variant]:
        if size not in renderings:
            renderings[size] = Rendering(size)
        images.append((size, bits, dib(FORMATS[bits](renderings[size]), size)))
    return ico(images)


def main(argv):
    if len(argv) != 3 or argv[1] not in VARIANTS:
        sys.stderr.write("usage: icongen.py six|nine OUT.ico\n")
        return 2
    data = build(argv[1])
    with open(argv[2], "wb") as out:
        out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
