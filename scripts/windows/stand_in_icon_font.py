#!/usr/bin/python3
"""Writes a stand-in for Windows 11's icon font, for pictures of the program under Wine.

Qt's windows11 style draws the marks of check boxes and the arrows of spin boxes as
characters of Segoe Fluent Icons, a font of Windows 11's own that Wine does not have:
under Wine they would come out as boxes. This font carries that name and, at the same
code points, DejaVu Sans's nearest characters, so a picture shows where and how large
the marks are drawn; the marks themselves are DejaVu's, not Windows'.
"""

import argparse

from fontTools import subset
from fontTools.ttLib import TTFont

FAMILY = "Segoe Fluent Icons"
DEJAVU_SANS = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
# Windows 11's code point: DejaVu Sans's character drawn there.
STAND_INS = {
    0xE70D: 0x02C5,  # ChevronDown: modifier letter down arrowhead
    0xE70E: 0x02C4,  # ChevronUp: modifier letter up arrowhead
    0xE73C: 0x2014,  # CheckboxIndeterminate: em dash
    0xE73E: 0x2713,  # CheckMark: check mark
}


def stand_in_font(output):
    font = TTFont(DEJAVU_SANS)
    options = subset.Options(name_IDs=[])
    options.drop_tables.append("FFTM")  # FontForge's time stamps, which the subsetter only warns about
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=STAND_INS.values())
    subsetter.subset(font)
    for table in font["cmap"].tables:
        if table.isUnicode():
            table.cmap = {icon: table.cmap[character] for icon, character in STAND_INS.items()}
    names = font["name"]
    names.names = []
    for name_id, text in ((1, FAMILY), (2, "Regular"), (4, FAMILY), (6, FAMILY.replace(" ", ""))):
        names.setName(text, name_id, 3, 1, 0x409)
    font.save(output)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    stand_in_font(parser.parse_args().output)
