#!/usr/bin/env python3
"""Draws the driver's pictures and writes them as the resource script expects them:
asio_mark.bmp (152 x 120, 8 bits per pixel, 256-entry palette) and the four tray icons
(16 x 16, 16 colours). Run it from anywhere; it writes beside itself. Pure Python, so
the files come out the same on every machine."""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# A 5 x 7 pixel font for the few characters the mark needs.
FONT = {
    'A': ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    'I': ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'T': ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    'M': ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    'D': ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    'E': ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    'K': ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    'F': ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    'W': ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    'N': ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    ' ': ["00000"] * 7,
}


def draw_text(pixels, text, x, y, scale, colour):
    for character in text:
        for row, bits in enumerate(FONT[character]):
            for column, bit in enumerate(bits):
                if bit == '1':
                    for dy in range(scale):
                        for dx in range(scale):
                            pixels[y + row * scale + dy][x + column * scale + dx] = colour
        x += 6 * scale


def text_width(text, scale):
    return (6 * len(text) - 1) * scale


def write_bmp8(path, pixels, palette):
    height, width = len(pixels), len(pixels[0])
    row_size = (width + 3) & ~3
    palette_bytes = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)
    assert len(palette) == 256
    image = b''.join(bytes(row) + b'\0' * (row_size - width) for row in reversed(pixels))
    offset = 14 + 40 + len(palette_bytes)
    header = struct.pack('<2sIHHI', b'BM', offset + len(image), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0, len(image), 2835, 2835, 256, 256)
    with open(path, 'wb') as f:
        f.write(header + info + palette_bytes + image)


def asio_mark():
    width, height = 152, 120
    white, blue, grey = 0, 1, 2
    pixels = [[white] * width for _ in range(height)]
    scale = 5
    mark_width = text_width("ASIO", scale)
    x = (width - mark_width - 12) // 2
    draw_text(pixels, "ASIO", x, 24, scale, blue)
    draw_text(pixels, "TM", x + mark_width + 2, 24, 1, blue)
    for column in range(x, x + mark_width + 12):
        pixels[24 + 7 * scale + 6][column] = blue
    for line_number, line in enumerate(["TRADEMARK", "OF ITS OWNER"]):
        draw_text(pixels, line, (width - text_width(line, 1)) // 2, 80 + 10 * line_number, 1, grey)
    palette = [(255, 255, 255), (31, 58, 147), (96, 96, 96)]
    palette += [(level, level, level) for level in range(253)]
    write_bmp8(os.path.join(HERE, "asio_mark.bmp"), pixels, palette)


# The 16 colours of the standard VGA palette.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
       (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, DARK_RED, DARK_GREEN, DARK_YELLOW = 0, 1, 2, 3
RED, GREEN, YELLOW = 9, 10, 11
CLEAR = None


def write_ico16(path, pixels):
    """One 16 x 16 image, 4 bits per pixel, with its transparency mask."""
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):
        for column in range(0, 16, 2):
            high = row[column] if row[column] is not CLEAR else 0
            low = row[column + 1] if row[column + 1] is not CLEAR else 0
            xor.append((high << 4) | low)
        bits = 0
        for column in range(16):
            bits = (bits << 1) | (1 if row[column] is CLEAR else 0)
        mask += struct.pack('>H', bits) + b'\0\0'
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in VGA)
    info = struct.pack('<IiiHHIIiiII', 40, 16, 32, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = info + palette + bytes(xor) + bytes(mask)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', 16, 16, 16, 0, 1, 4, len(image), 6 + 16)
    with open(os.path.join(HERE, path), 'wb') as f:
        f.write(directory + entry + image)


def blank():
    return [[CLEAR] * 16 for _ in range(16)]


def fill(pixels, left, top, right, bottom, colour, outline):
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            edge = y in (top, bottom) or x in (left, right)
            pixels[y][x] = outline if edge else colour


def stop_square():
    pixels = blank()
    fill(pixels, 3, 3, 12, 12, RED, DARK_RED)
    return pixels


def pause_bars():
    pixels = blank()
    fill(pixels, 3, 2, 6, 13, YELLOW, DARK_YELLOW)
    fill(pixels, 9, 2, 12, 13, YELLOW, DARK_YELLOW)
    return pixels


def play_triangle():
    pixels = blank()
    for y in range(2, 14):
        reach = 4 + (min(y - 2, 13 - y) * 10) // 6
        for x in range(4, reach + 1):
            edge = x in (4, reach) or y in (2, 13)
            pixels[y][x] = DARK_GREEN if edge else GREEN
    return pixels


def exclamation():
    pixels = blank()
    for y in range(1, 15):
        half = (y - 1) * 7 // 13
        for x in range(7 - half, 8 + half + 1):
            edge = x in (7 - half, 8 + half) or y == 14
            pixels[y][x] = DARK_YELLOW if edge else YELLOW
    for y in list(range(5, 11)) + [12]:
        pixels[y][7] = pixels[y][8] = BLACK
    return pixels


if __name__ == "__main__":
    asio_mark()
    write_ico16("tray_stopped.ico", stop_square())
    write_ico16("tray_ready.ico", pause_bars())
    write_ico16("tray_running.ico", play_triangle())
    write_ico16("tray_resync.ico", exclamation())
