#!/usr/bin/env python3
"""Turns a tmux pane capture (`tmux capture-pane -p -e`: text with SGR
attributes and the alternate character set shifted in and out) into an
ImageMagick drawing (MVG) of the terminal as it looked, one cell at a time.

Usage: screen-to-mvg.py COLUMNS ROWS WIDE_FONT NARROW_FONT < CAPTURE > OUT.mvg

Double-width characters are drawn with WIDE_FONT (a Japanese font), all
others with NARROW_FONT (a monospaced Latin font); line-drawing characters
are drawn as lines, so that frames join whatever the fonts do. Attributes:
reverse, bold and underline; the pane is drawn light on dark.
"""

import re
import sys
import unicodedata

CELL_W, CELL_H, POINT = 10, 20, 16
# Japanese glyphs look small beside Latin ones of the same size: a little
# larger, they fill their two cells as a terminal shows them.
WIDE_POINT = 19
BACKGROUND, FOREGROUND, BOLD = "#1d1f21", "#c5c8c6", "#ffffff"

# The alternate character set's line-drawing letters, and the Unicode box
# characters, as the cell sides their lines reach: up, down, left, right.
ACS = {"q": "lr", "x": "ud", "l": "dr", "k": "dl", "m": "ur", "j": "ul",
       "t": "udr", "u": "udl", "v": "ulr", "w": "dlr", "n": "udlr"}
BOX = {"─": "lr", "│": "ud", "┌": "dr", "┐": "dl", "└": "ur", "┘": "ul",
       "├": "udr", "┤": "udl", "┴": "ulr", "┬": "dlr", "┼": "udlr"}

SGR = re.compile(r"\x1b\[([0-9;]*)m")


def is_wide(char):
    return unicodedata.east_asian_width(char) in ("W", "F")


def cells(line):
    """Yields (column, character, width, reverse, bold, underline, sides)."""
    reverse = bold = underline = acs = False
    column = 0
    at = 0
    while at < len(line):
        match = SGR.match(line, at)
        if match:
            for code in (match.group(1) or "0").split(";"):
                if code in ("", "0"):
                    reverse = bold = underline = False
                elif code == "1":
                    bold = True
                elif code == "4":
                    underline = True
                elif code == "7":
                    reverse = True
                elif code == "22":
                    bold = False
                elif code == "24":
                    underline = False
                elif code == "27":
                    reverse = False
            at = match.end()
            continue
        char = line[at]
        at += 1
        if char == "\x0e":
            acs = True
            continue
        if char == "\x0f":
            acs = False
            continue
        if char < " ":
            continue
        sides = ACS.get(char) if acs else BOX.get(char)
        width = 2 if is_wide(char) else 1
        yield column, char, width, reverse, bold, underline, sides
        column += width


def quoted(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def main():
    columns, rows, wide_font, narrow_font = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
    out = [f"viewbox 0 0 {columns * CELL_W} {rows * CELL_H}",
           f"fill {BACKGROUND}", f"rectangle 0,0 {columns * CELL_W} {rows * CELL_H}",
           "text-antialias 1", f"font-size {POINT}", "stroke-width 0"]
    lines = sys.stdin.read().split("\n")[:rows]
    for row, line in enumerate(lines):
        top = row * CELL_H
        for column, char, width, reverse, bold, underline, sides in cells(line):
            left = column * CELL_W
            right = left + width * CELL_W
            ink = BOLD if bold else FOREGROUND
            if reverse:
                ink, paper = BACKGROUND, ink
                out += ["stroke none", f"fill {paper}",
                        f"rectangle {left},{top} {right - 1},{top + CELL_H - 1}"]
            if sides:
                mid_x, mid_y = left + CELL_W // 2, top + CELL_H // 2
                ends = {"u": (mid_x, top), "d": (mid_x, top + CELL_H),
                        "l": (left, mid_y), "r": (right, mid_y)}
                out += [f"stroke {ink}", "stroke-width 1", "fill none"]
                for side in sides:
                    x, y = ends[side]
                    out.append(f"line {mid_x},{mid_y} {x},{y}")
                out += ["stroke none", "stroke-width 0"]
            elif char != " ":
                # Centred in its cells: the fonts' advances differ from the
                # cell (half-width katakana are half of the wide font's em).
                if width == 2:
                    font, size, advance = wide_font, WIDE_POINT, WIDE_POINT
                elif "\uff61" <= char <= "\uff9f":
                    font, size, advance = wide_font, WIDE_POINT, WIDE_POINT / 2
                else:
                    font, size, advance = narrow_font, POINT, POINT * 0.6
                shift = (width * CELL_W - advance) / 2
                out += ["stroke none", f"fill {ink}", f"font {quoted(font)}", f"font-size {size}",
                        f"text {left + shift:.1f},{top + CELL_H - 5} {quoted(char)}"]
            if underline:
                out += [f"stroke {ink}", "stroke-width 1",
                        f"line {left},{top + CELL_H - 2} {right - 1},{top + CELL_H - 2}",
                        "stroke none", "stroke-width 0"]
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
