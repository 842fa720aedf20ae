#!/usr/bin/env python3
"""Draws Tessary's watermark logo and writes it as an XPM image.

The overlay blends this 160 x 120 picture over the camera frame. Magenta is
the transparent colour; the logo keeps to columns 25-134 and rows 28-90 and
uses four opaque colours. Run: tools/make_watermark.py > resources/watermark.xpm
"""

WIDTH, HEIGHT = 160, 120
LEFT, RIGHT, TOP, BOTTOM = 25, 134, 28, 90  # inclusive bounds of the logo

PALETTE = {  # character: RGB
    ".": "#FF00FF",  # transparent
    "f": "#283C5A",  # frame
    "z": "#3CA0C8",  # zones
    "t": "#F0F0F0",  # lettering
    "h": "#FA8C28",  # the zone that fired
}

FONT = {
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "Y": ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
}


def draw():
    image = [["."] * WIDTH for _ in range(HEIGHT)]

    def fill(x0, y0, x1, y1, colour):  # inclusive
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                image[y][x] = colour

    # A frame two pixels wide with cut corners.
    fill(LEFT + 2, TOP, RIGHT - 2, TOP + 1, "f")
    fill(LEFT + 2, BOTTOM - 1, RIGHT - 2, BOTTOM, "f")
    fill(LEFT, TOP + 2, LEFT + 1, BOTTOM - 2, "f")
    fill(RIGHT - 1, TOP + 2, RIGHT, BOTTOM - 2, "f")
    for corner_x, corner_y in ((LEFT + 1, TOP + 1), (RIGHT - 1, TOP + 1),
                               (LEFT + 1, BOTTOM - 1), (RIGHT - 1, BOTTOM - 1)):
        image[corner_y][corner_x] = "f"

    # Three zones, the middle one firing.
    size, gap = 18, 8
    x = (LEFT + RIGHT + 1) // 2 - (3 * size + 2 * gap) // 2
    for index in range(3):
        colour = "h" if index == 1 else "z"
        fill(x, TOP + 6, x + size - 1, TOP + 6 + size - 1, colour)
        if index != 1:  # hollow zones
            fill(x + 3, TOP + 9, x + size - 4, TOP + size + 2, ".")
        x += size + gap

    # The name, in a 5 x 7 font drawn twice as large.
    text, scale, spacing = "TESSARY", 2, 2
    text_width = len(text) * (5 * scale + spacing) - spacing
    x = (LEFT + RIGHT + 1) // 2 - text_width // 2
    y = TOP + 32
    for letter in text:
        for row, bits in enumerate(FONT[letter]):
            for column, bit in enumerate(bits):
                if bit == "1":
                    fill(x + column * scale, y + row * scale,
                         x + column * scale + scale - 1, y + row * scale + scale - 1, "t")
        x += 5 * scale + spacing

    # An underline in the zone colour.
    fill(LEFT + 14, BOTTOM - 8, RIGHT - 14, BOTTOM - 7, "z")
    return image


def main():
    image = draw()
    print("/* XPM */")
    print("static constexpr const char* kWatermarkXpm[] = {")
    print(f'"{WIDTH} {HEIGHT} {len(PALETTE)} 1",')
    for char, colour in PALETTE.items():
        print(f'"{char} c {colour}",')
    rows = ["".join(row) for row in image]
    print(",\n".join(f'"{row}"' for row in rows))
    print("};")


if __name__ == "__main__":
    main()
