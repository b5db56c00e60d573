#!/usr/bin/python3
# Reads CSS colour texts, one a line, from the file named as argument and
# prints for each the sRGB word tinycss2 gives: six hexadecimal digits (each
# channel clamped to [0, 1], then floor(x * 255 + 0.5)), "transparent",
# "currentColor", or "none" when tinycss2 reads no colour.
import math
import sys

import tinycss2.color3


def level(x):
    return int(math.floor(min(max(x, 0.0), 1.0) * 255 + 0.5))


with open(sys.argv[1], encoding="utf-8") as texts:
    for line in texts:
        colour = tinycss2.color3.parse_color(line.rstrip("\n"))
        if colour is None:
            print("none")
        elif colour == "currentColor":
            print("currentColor")
        elif colour.alpha == 0:
            print("transparent")
        else:
            print("%02X%02X%02X" % (level(colour.red), level(colour.green), level(colour.blue)))
