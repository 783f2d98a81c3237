#!/usr/bin/env python3
"""Writes vidorra.ico (the record symbol) and crosscur.cur (the region crosshair).

Both files are committed; run this again only after changing the drawing below:
    python3 src/resources/make_images.py
Output is byte-for-byte the same on every run (no time stamps, no randomness).
"""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# The 16 colours every display can show; the 4-bit icons use them for old Windows versions
# and for screens with a palette.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
DARK_RED = 1
RED = 9


def row_bytes(width, bits):
    """Bytes in one DIB row: rows are padded to whole 32-bit words."""
    return (width * bits + 31) // 32 * 4


def pack_rows(rows, bits):
    """Packs rows of pixel values (top row first) into a bottom-up DIB."""
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(row_bytes(len(row), bits))
        for x, value in enumerate(row):
            if bits == 32:
                line[4 * x:4 * x + 4] = bytes(value)
            else:
                per_byte = 8 // bits
                shift = 8 - bits * (x % per_byte + 1)
                line[x // per_byte] |= value << shift
        out += line
    return bytes(out)


def dib(width, height, bits, palette, xor_rows, and_rows):
    """One icon or cursor image: header with doubled height, colours, XOR bits, AND mask."""
    xor_bits = pack_rows(xor_rows, bits)
    and_bits = pack_rows(and_rows, 1)
    header = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, bits, 0,
                         len(xor_bits) + len(and_bits), 0, 0, len(palette), 0)
    colours = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    return header + colours + xor_bits + and_bits


def icon_file(kind, images):
    """kind 1 = icon, 2 = cursor. images: (width, height, colours, field1, field2, data);
    field1/field2 are planes and bit count for icons, the hot spot for cursors."""
    out = bytearray(struct.pack('<HHH', 0, kind, len(images)))
    offset = 6 + 16 * len(images)
    for width, height, colours, field1, field2, data in images:
        out += struct.pack('<BBBBHHII', width % 256, height % 256, colours % 256, 0,
                           field1, field2, len(data), offset)
        offset += len(data)
    for image in images:
        out += image[5]
    return bytes(out)


def circle_coverage(size, x, y, radius):
    """Share of pixel (x, y) inside the circle centred in the image, 8x8 samples."""
    centre = size / 2.0
    inside = 0
    for sy in range(8):
        for sx in range(8):
            dx = x + (sx + 0.5) / 8 - centre
            dy = y + (sy + 0.5) / 8 - centre
            if dx * dx + dy * dy <= radius * radius:
                inside += 1
    return inside / 64.0


def record_symbol(size):
    """Red disc with a darker rim, leaving a one-pixel margin (two at 32 pixels)."""
    radius = size / 2.0 - (2 if size >= 32 else 1)
    rim = 1.5 if size >= 32 else 1.0
    centre = size / 2.0
    true_colour, indexed, mask = [], [], []
    for y in range(size):
        colour_row, index_row, mask_row = [], [], []
        for x in range(size):
            cover = circle_coverage(size, x, y, radius)
            distance = math.hypot(x + 0.5 - centre, y + 0.5 - centre)
            on_rim = distance > radius - rim
            # A little lighter towards the top left, as if lit from there.
            light = max(0.0, 1.0 - math.hypot(x + 0.5 - centre * 0.7, y + 0.5 - centre * 0.7)
                        / radius)
            if on_rim:
                r, g, b = 150, 16, 16
            else:
                r = 214 + int(41 * light)
                g = b = 24 + int(72 * light * light)
            alpha = int(round(cover * 255))
            colour_row.append((b, g, r, alpha) if alpha else (0, 0, 0, 0))
            solid = cover >= 0.5
            index_row.append((DARK_RED if on_rim else RED) if solid else 0)
            mask_row.append(0 if solid else 1)
        true_colour.append(colour_row)
        indexed.append(index_row)
        mask.append(mask_row)
    # The 32-bit image is blended by its alpha; its mask only serves systems without alpha.
    alpha_mask = [[0 if px[3] else 1 for px in row] for row in true_colour]
    return [
        (size, size, 16, 1, 4, dib(size, size, 4, VGA, indexed, mask)),
        (size, size, 0, 1, 32, dib(size, size, 32, [], true_colour, alpha_mask)),
    ]


def crosshair():
    """32x32 monochrome crosshair, hot spot at (16, 16).

    Black one-pixel lines with a white edge on either side show on light and dark screens
    alike; the arms stop short of the centre so that the pixel under the hot spot stays
    visible, and that pixel itself is inverted.
    """
    size, centre, gap, reach = 32, 16, 3, 14
    BLACK, WHITE, SCREEN, INVERT = (0, 0), (0, 1), (1, 0), (1, 1)  # (AND, XOR)
    pixels = [[SCREEN] * size for _ in range(size)]

    def arm_pixel(along, across):
        """Colour of a pixel at distance `along` on an arm and `across` off its axis."""
        if gap <= along <= reach and across == 0:
            return BLACK
        if gap - 1 <= along <= reach + 1 and across == 1:
            return WHITE
        if along in (gap - 1, reach + 1) and across == 0:
            return WHITE
        return None

    for y in range(size):
        for x in range(size):
            dx, dy = x - centre, y - centre
            for along, across in ((abs(dx), abs(dy)), (abs(dy), abs(dx))):
                colour = arm_pixel(along, across)
                if colour == BLACK or (colour == WHITE and pixels[y][x] == SCREEN):
                    pixels[y][x] = colour
    pixels[centre][centre] = INVERT
    and_rows = [[p[0] for p in row] for row in pixels]
    xor_rows = [[p[1] for p in row] for row in pixels]
    data = dib(size, size, 1, [(0, 0, 0), (255, 255, 255)], xor_rows, and_rows)
    return [(size, size, 2, centre, centre, data)]


def main():
    icon = icon_file(1, record_symbol(32) + record_symbol(16))
    with open(os.path.join(HERE, 'vidorra.ico'), 'wb') as f:
        f.write(icon)
    with open(os.path.join(HERE, 'crosscur.cur'), 'wb') as f:
        f.write(icon_file(2, crosshair()))


if __name__ == '__main__':
    main()
