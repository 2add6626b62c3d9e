"""The character classes a symbol set is warned of, from the Unicode Character Database.

    python3 cmake/character_classes.py UNICODE_DIR OUT_HEADER

Reads EastAsianWidth.txt, DerivedGeneralCategory.txt and DerivedCoreProperties.txt in
UNICODE_DIR (copies of Debian's unicode-data files) and writes a C++ header of merged,
sorted code point ranges for symbol_warning.cpp. Made at build time, so the classes follow
the data the build machine has instead of a hand-typed list that falls behind it.
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
# line and paragraph separators, surrogates (which are no characters at all) and
# default-ignorable code points.
CLASSES = {
    "W": "full_width", "F": "full_width",
    "Mn": "combining", "Mc": "combining", "Me": "combining",
    "Cc": "invisible", "Cf": "invisible", "Cs": "invisible", "Zs": "invisible", "Zl": "invisible",
    "Zp": "invisible", "Default_Ignorable_Code_Point": "invisible",
}


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
    """Runs of one class, in code point order, the unclassed left out."""
    kind = [None] * (LAST_CODE_POINT + 1)
    for name in FILES:
        for first, last, value in records(unicode_dir / name):
            if value in CLASSES:
                kind[first:last + 1] = [CLASSES[value]] * (last - first + 1)
    runs = []
    for code_point, name in enumerate(kind):
        if name is None:
            continue
        if runs and runs[-1][2] == name and runs[-1][1] == code_point - 1:
            runs[-1][1] = code_point
        else:
            runs.append([code_point, code_point, name])
    return runs


def main(unicode_dir, out):
    unicode_dir = Path(unicode_dir)
    versions = {version(unicode_dir / name) for name in FILES}
    if len(versions) != 1:
        sys.exit(f"{unicode_dir}: data files of different Unicode versions: {sorted(versions)}")
    rows = "".join(f"    {{0x{first:04X}, 0x{last:04X}, CharacterClass::{name}}},\n"
                   for first, last, name in ranges(unicode_dir))
    text = (f"// Made by cmake/character_classes.py from the data files of Unicode {versions.pop()}.\n"
            "inline constexpr ClassRange CLASS_RANGES[] = {\n" + rows + "};\n")
    Path(out).write_text(text, encoding="utf-8")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().split("\n\n")[1].strip())
    main(*sys.argv[1:])
