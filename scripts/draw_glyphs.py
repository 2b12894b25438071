#!/usr/bin/env python3
"""Draws the program's bitmaps and writes them as XPM data into resources/bitmaps.cpp
(and the icon alone into resources/snyltdyr.xpm, and as PNG files in the sizes desktops
use into resources/icons/NxN/apps/snyltdyr.png, the layout of the hicolor icon theme).

The five record-state glyphs of the grid's indicator column are 6 x 11 pixels, black
('X') on white ('o'); the grid makes the white transparent when it loads them. Each
navigator glyph is one picture drawn below as rows of characters ('#' the shape,
'o' a second colour, '.' background); the disabled picture beside it is made from the
same shape, embossed: grey, with a white copy one pixel down and right. The program icon
is a 32 x 32 picture in 16 colours. Run it again after changing a drawing.
"""
import os
import struct
import zlib

NAV = {
    "FIRST": ["..............", "..............", "...##.....#...", "...##....##...",
              "...##...###...", "...##..####...", "...##.#####...", "...##..####...",
              "...##...###...", "...##....##...", "...##.....#...", "..............",
              ".............."],
    "PRIOR": ["..........", "..........", "......#...", ".....##...", "....###...",
              "...####...", "..#####...", "...####...", "....###...", ".....##...",
              "......#...", "..........", ".........."],
    "NEXT": ["..........", "..........", "...#......", "...##.....", "...###....",
             "...####...", "...#####..", "...####...", "...###....", "...##.....",
             "...#......", "..........", ".........."],
    "LAST": ["..............", "..............", "...#.....##...", "...##....##...",
             "...###...##...", "...####..##...", "...#####.##...", "...####..##...",
             "...###...##...", "...##....##...", "...#.....##...", "..............",
             ".............."],
    "INSERT": ["..............", "..............", "......##......", "......##......",
               "......##......", "..##########..", "..##########..", "......##......",
               "......##......", "......##......", "..............", "..............",
               ".............."],
    "DELETE": ["..............", "..............", "..............", "..............",
               "..............", "..##########..", "..##########..", "..............",
               "..............", "..............", "..............", "..............",
               ".............."],
    "EDIT": ["..............", "..............", "..............", "......##......",
             ".....####.....", "....######....", "...########...", "..##########..",
             "..............", "..............", "..............", "..............",
             ".............."],
    "POST": ["..............", "..............", "...........o..", "..........oo..",
             ".........oo...", "..o.....oo....", "..oo...oo.....", "...oo.oo......",
             "....ooo.......", ".....o........", "..............", "..............",
             ".............."],
    "CANCEL": ["..............", "..............", "..oo......oo..", "...oo....oo...",
               "....oo..oo....", ".....oooo.....", "......oo......", ".....oooo.....",
               "....oo..oo....", "...oo....oo...", "..oo......oo..", "..............",
               ".............."],
    "REFRESH": ["..............", "..............", ".....####.....", "...##....##.#.",
                "..#........##.", "..#.......###.", ".#............", ".#............",
                "..#.........#.", "..#........#..", "...##....##...", ".....####.....",
                ".............."],
}
SHAPE_COLOUR = {"#": "#000000", "o": None}

WHITE_ROWS = ["oooooo"] * 3
GRID = {
    "DBGARROW": ["Xooooo", "XXoooo", "XXXooo", "XXXXoo", "XXXXXo", "XXXXXX", "XXXXXo",
                 "XXXXoo", "XXXooo", "XXoooo", "Xooooo"],
    "DBEDIT": ["XXooXX"] + ["ooXXoo"] * 9 + ["XXooXX"],
    "DBINSERT": WHITE_ROWS + ["oXooXo", "ooXXoo", "XXXXXX", "ooXXoo", "oXooXo"] + WHITE_ROWS,
    "DBMULTIDOT": WHITE_ROWS + ["ooXXoo", "oXXXXo", "oXXXXo", "oXXXXo", "ooXXoo"] + WHITE_ROWS,
    "DBMULTIARROW": ["Xooooo", "XXoooo", "oXXooo", "ooXXoo", "XXoXXo", "XXooXX", "XXoXXo",
                     "ooXXoo", "oXXooo", "XXoooo", "Xooooo"],
}
GRID_COLOURS = {"X": "#000000", "o": "#FFFFFF"}
SECOND = {"POST": "#008000", "CANCEL": "#800000"}

# The program icon: a fish with a parasite on its side, in 16 colours at most.
ICON = [
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "..............bbbbbb............",
    "...........bbbbbbbbbbbb.........",
    ".........bbbbbbbbbbbbbbbbb......",
    "........bbbbbbbbbbbbbbbbbbbb....",
    ".......bbbbbbbbbbbbbbbbbbbbbb...",
    ".b....bbbbbbbbbbbbbbbbbbbwwbbb..",
    ".bb..bbbbbbbbbbbbbbbbbbbbwkbbbb.",
    ".bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbbrrbbbbbbbbbbbbbbb.",
    ".bbbbbbbbbbbbrrrrbbbbbbbbbbbbbb.",
    ".bbbbssssssssrrrrsssssssssssssb.",
    ".bbbbsssssssssrrssssssssssssss..",
    ".bb..sssssssssssssssssssssss....",
    ".b....sssssssssssssssssssss.....",
    ".......sssssssssssssssssss......",
    "........ssssssssssssssssb.......",
    ".........sssssssssssss..........",
    "...........sssssssss............",
    "..............sss...............",
    "................................",
    "................................",
    "..yyyyyyyyyyyyyyyyyyyyyyyyyyyy..",
    "..yggggggggggggggggggggggggggy..",
    "..yyyyyyyyyyyyyyyyyyyyyyyyyyyy..",
    "................................",
    "................................",
    "................................",
]
ICON_COLOURS = {".": "None", "b": "#000080", "s": "#C0C0C0", "w": "#FFFFFF", "k": "#000000",
                "r": "#FF0000", "y": "#808000", "g": "#00FF00"}


def xpm(name, rows, colours):
    out = [f"static const char* const {name}[] = {{",
           f'    "{len(rows[0])} {len(rows)} {len(colours)} 1",']
    for key, value in colours.items():
        out.append(f'    "{key} c {value}",')
    out += [f'    "{row}",' for row in rows]
    out.append("};")
    return "\n".join(out)


def nav_glyph(kind):
    rows = NAV[kind]
    second = SECOND.get(kind, "#000000")
    colour_of = {"#": "#000000", "o": second}
    width = len(rows[0])
    # Disabled half: white where the shape is, shifted (1, 1), then grey on the shape.
    disabled = [["." for _ in range(width)] for _ in rows]
    for y, row in enumerate(rows):
        for x, c in enumerate(row):
            if c != "." and y + 1 < len(rows) and x + 1 < width:
                disabled[y + 1][x + 1] = "w"
    for y, row in enumerate(rows):
        for x, c in enumerate(row):
            if c != ".":
                disabled[y][x] = "g"
    both = [row + "".join(d) for row, d in zip(rows, disabled)]
    colours = {".": "None", "w": "#FFFFFF", "g": "#808080"}
    for key in sorted({c for row in rows for c in row} - {"."}):
        colours[key] = colour_of[key]
    return xpm(f"dbn_{kind.lower()}", both, colours)


# Desktops look for an application icon in these sizes of the hicolor theme.
ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]


def rgba(colour):
    if colour == "None":
        return (0, 0, 0, 0)
    return (int(colour[1:3], 16), int(colour[3:5], 16), int(colour[5:7], 16), 255)


def scaled(rows, colours, size):
    """The picture at size x size: each pixel averages the source pixels it covers,
    weighted by the area covered (alpha-weighted, so the transparent background does
    not darken the edges). Whole multiples come out as plain enlarged pixels."""
    source = [[rgba(colours[c]) for c in row] for row in rows]
    n = len(rows)
    step = n / size

    def spans(i):  # (source index, covered length) of destination pixel i
        lo, hi = i * step, (i + 1) * step
        out, j = [], int(lo)
        while j < hi and j < n:
            cover = min(hi, j + 1) - max(lo, j)
            if cover > 1e-9:
                out.append((j, cover))
            j += 1
        return out

    picture = []
    for y in range(size):
        line = []
        for x in range(size):
            r = g = b = a = area = 0.0
            for sy, wy in spans(y):
                for sx, wx in spans(x):
                    pr, pg, pb, pa = source[sy][sx]
                    w = wx * wy
                    r, g, b, a, area = r + pr * pa * w, g + pg * pa * w, b + pb * pa * w, \
                        a + pa * w, area + w
            if a == 0:
                line.append((0, 0, 0, 0))
            else:
                line.append((round(r / a), round(g / a), round(b / a), round(a / area)))
        picture.append(line)
    return picture


def png(picture):
    """A PNG file (8-bit RGBA, no filter) of a picture given as rows of RGBA tuples."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + \
            struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    height, width = len(picture), len(picture[0])
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in picture)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    parts = ["// Written by scripts/draw_glyphs.py: the program icon, the navigator glyphs and the",
             "// grid's indicator glyphs. Each navigator glyph holds two pictures side by side:",
             "// normal, then disabled.",
             '#include "resources/bitmaps.h"', "", 
             "namespace snyltdyr {", "namespace {", ""]
    for kind in NAV:
        parts += [nav_glyph(kind), ""]
    for name, rows in GRID.items():
        parts += [xpm(name.lower(), rows, GRID_COLOURS), ""]
    parts += [xpm("program_icon", ICON, ICON_COLOURS), ""]
    parts += ["const BitmapResource kBitmaps[] = {"]
    for kind in NAV:
        parts.append(f'    {{"DBN_{kind}", dbn_{kind.lower()}}},')
    for name in GRID:
        parts.append(f'    {{"{name}", {name.lower()}}},')
    parts += ['    {"PROGRAM_ICON", program_icon},', "};", "", "}  // namespace", "",
              "const BitmapResource* BitmapResources(size_t& count) {",
              "  count = sizeof(kBitmaps) / sizeof(kBitmaps[0]);", "  return kBitmaps;", "}", "",
              "}  // namespace snyltdyr", ""]
    with open(os.path.join(here, "bitmaps.cpp"), "w") as f:
        f.write("\n".join(parts))
    # The same icon as a file, for the desktop entry.
    with open(os.path.join(here, "snyltdyr.xpm"), "w") as f:
        f.write("/* XPM */\n" + xpm("snyltdyr", ICON, ICON_COLOURS).replace(
            "static const char* const", "static char*") + "\n")
    for size in ICON_SIZES:
        folder = os.path.join(here, "icons", f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "snyltdyr.png"), "wb") as f:
            f.write(png(scaled(ICON, ICON_COLOURS, size)))


if __name__ == "__main__":
    main()
