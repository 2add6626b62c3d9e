"""The character classes a symbol set is warned of, from the Unicode Character Database.

    python3 cmake/character_classes.py UNICODE_DIR OUT_HEADER

Reads EastAsianWidth.txt, DerivedGeneralCategory.txt and DerivedCoreProperties.txt in
UNICODE_DIR (copies of Debian's unicode-data files) and writes a C++ header of merged,
sorted code point ranges, and of the blanks (space separators), for symbol_warning.cpp.
Made at build time, so the classes follow the data the build machine has instead of a
hand-typed list that falls behind it.
"""

import re
import sys
from pathlib import Path

LAST_CODE_POINT = 0x10FFFF
# The files in the order they are applied, a later one winning where two give a class:
# a combining mark or an invisible character may be wide too, and a default-ignorable
# code point may be a mark (the variation selectors) or a letter (the Hangul fillers).
FILES = ("EastAsianWidth.txt", "DerivedGeneralCategory.txt", "DerivedCoreProperties.txt")
# By the value a file gives a range. No one sees the blanks, controls, format characters,
# line and paragraph separators, surrogates (which are no characters at all), private use
# and unassigned code points (the noncharacters among them: no font draws them) and
# default-ignorable code points.
CLASSES = {
    "W": "full_width", "F": "full_width",
    "Mn": "combining", "Mc": "combining", "Me": "combining",
    "Cc": "invisible", "Cf": "invisible", "Cs": "invisible", "Co": "invisible", "Cn": "invisible",
    "Zs": "invisible", "Zl": "invisible", "Zp": "invisible", "Default_Ignorable_Code_Point": "invisible",
}
# A blank that is full-width, the ideographic space an input method types, is seen as the
# wide gap it is: it stays full-width, where every other blank is invisible.
KEPT_FULL_WIDTH = {"Zs"}
# Letters and symbols that draw nothing, as a blank does, though their category says
# otherwise: BRAILLE PATTERN BLANK, MUSICAL SYMBOL NULL NOTEHEAD, and the Hangul fillers
# (default-ignorable today, named here so that they stay invisible whatever a later
# version makes of them).
BLANK_LOOKING = (0x2800, 0x1D159, 0x115F, 0x1160, 0x3164, 0xFFA0)


def records(path):
    """(first, last, value) of every data line: a range's ends, or one code point twice."""
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            fields = [field.strip() for field in line.split("#", 1)[0].split(";")]
            if len(fields) == 2:
                ends = fields[0].split("..")
                yield int(ends[0], 16), int(ends[-1], 16), fields[1]


def version(path):
    """The Unicode version a data file names in its first line (# EastAsianWidth-15.0.0.txt)."""
    found = re.match(r"# \w+-([0-9.]+)\.txt", Path(path).read_text(encoding="utf-8").split("\n", 1)[0])
    if not found:
        sys.exit(f"{path}: no Unicode version in its first line")
    return found.group(1)


def ranges(unicode_dir):
    """Runs of one class, in code point order, the unclassed left out; and the blanks (Zs)."""
    kind = [None] * (LAST_CODE_POINT + 1)
    # A code point the category file leaves out is unassigned, as the file itself says.
    unassigned = [True] * (LAST_CODE_POINT + 1)
    blanks = []
    for name in FILES:
        for first, last, value in records(unicode_dir / name):
            if name == "DerivedGeneralCategory.txt":
                unassigned[first:last + 1] = [False] * (last - first + 1)
                blanks += range(first, last + 1) if value == "Zs" else []
            for code_point in range(first, last + 1) if value in CLASSES else ():
                if not (value in KEPT_FULL_WIDTH and kind[code_point] == "full_width"):
                    kind[code_point] = CLASSES[value]
    for code_point in [c for c, missing in enumerate(unassigned) if missing] + list(BLANK_LOOKING):
        kind[code_point] = "invisible"
    runs = []
    for code_point, name in enumerate(kind):
        if name is None:
            continue
        if runs and runs[-1][2] == name and runs[-1][1] == code_point - 1:
            runs[-1][1] = code_point
        else:
            runs.append([code_point, code_point, name])
    return runs, sorted(blanks)


def main(unicode_dir, out):
    unicode_dir = Path(unicode_dir)
    versions = {version(unicode_dir / name) for name in FILES}
    if len(versions) != 1:
        sys.exit(f"{unicode_dir}: data files of different Unicode versions: {sorted(versions)}")
    runs, blanks = ranges(unicode_dir)
    rows = "".join(f"    {{0x{first:04X}, 0x{last:04X}, CharacterClass::{name}}},\n" for first, last, name in runs)
    text = (f"// Made by cmake/character_classes.py from the data files of Unicode {versions.pop()}.\n"
            "inline constexpr ClassRange CLASS_RANGES[] = {\n" + rows + "};\n"
            "inline constexpr char32_t BLANKS[] = {" + ", ".join(f"0x{c:04X}" for c in blanks) + "};\n")
    Path(out).write_text(text, encoding="utf-8")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().split("\n\n")[1].strip())
    main(*sys.argv[1:])
