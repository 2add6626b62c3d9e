"""The character classes a symbol set is warned of, from the Unicode Character Database.

    python3 cmake/character_classes.py UNICODE_DIR OUT_HEADER

Reads UnicodeData.txt, DerivedCoreProperties.txt and EastAsianWidth.txt in UNICODE_DIR
(Debian's unicode-data) and writes a C++ header of merged, sorted code point ranges for
symbol_warning.cpp. Made at build time, so the classes follow the data the build machine
has instead of a hand-typed list that falls behind it.
"""

import re
import sys
from pathlib import Path

LAST_CODE_POINT = 0x10FFFF
# No one sees them: blanks, controls, format characters, the line and paragraph
# separators, and surrogates, which are no characters at all. Default-ignorable code
# points (variation selectors, fillers, tags) join them below.
INVISIBLE_CATEGORIES = {"Cc", "Cf", "Cs", "Zs", "Zl", "Zp"}
COMBINING_CATEGORIES = {"Mn", "Mc", "Me"}
WIDE = {"W", "F"}


def records(path):
    """(first, last, fields) of every data line: a range's ends, or one code point twice."""
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            fields = [field.strip() for field in line.split("#", 1)[0].split(";")]
            if len(fields) < 2:
                continue
            ends = fields[0].split("..")
            yield int(ends[0], 16), int(ends[-1], 16), fields


def version(path):
    """The Unicode version a data file names in its first line (# EastAsianWidth-15.0.0.txt)."""
    found = re.match(r"# \w+-([0-9.]+)\.txt", Path(path).read_text(encoding="utf-8").split("\n", 1)[0])
    if not found:
        sys.exit(f"{path}: no Unicode version in its first line")
    return found.group(1)


def classes(unicode_dir):
    """Each code point's class, later rules winning: wide, then combining, then invisible."""
    kind = [None] * (LAST_CODE_POINT + 1)

    def mark(first, last, name):
        kind[first:last + 1] = [name] * (last - first + 1)

    for first, last, fields in records(unicode_dir / "EastAsianWidth.txt"):
        if fields[1] in WIDE:
            mark(first, last, "full_width")
    range_start = None
    # A range of UnicodeData.txt is two lines, "<..., First>" and "<..., Last>".
    for code_point, _, fields in records(unicode_dir / "UnicodeData.txt"):
        if fields[1].endswith(", First>"):
            range_start = code_point
            continue
        first = range_start if fields[1].endswith(", Last>") else code_point
        if fields[2] in COMBINING_CATEGORIES:
            mark(first, code_point, "combining")
        elif fields[2] in INVISIBLE_CATEGORIES:
            mark(first, code_point, "invisible")
    for first, last, fields in records(unicode_dir / "DerivedCoreProperties.txt"):
        if fields[1] == "Default_Ignorable_Code_Point":
            mark(first, last, "invisible")
    return kind


def ranges(kind):
    """Runs of one class, in code point order, the unclassed left out."""
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
    versions = {version(unicode_dir / name) for name in ("DerivedCoreProperties.txt", "EastAsianWidth.txt")}
    if len(versions) != 1:
        sys.exit(f"{unicode_dir}: data files of different Unicode versions: {sorted(versions)}")
    rows = "".join(f"    {{0x{first:04X}, 0x{last:04X}, CharacterClass::{name}}},\n"
                   for first, last, name in ranges(classes(unicode_dir)))
    text = (f"// Made by cmake/character_classes.py from the data files of Unicode {versions.pop()}.\n"
            "inline constexpr ClassRange CLASS_RANGES[] = {\n" + rows + "};\n")
    Path(out).write_text(text, encoding="utf-8")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().split("\n\n")[1].strip())
    main(*sys.argv[1:])
