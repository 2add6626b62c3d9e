"""The letters and numbers of every script, which a symbol set under a policy may not hold.

    python3 cmake/letters_and_numbers.py UNICODE_DIR OUT_HEADER

Reads DerivedGeneralCategory.txt in UNICODE_DIR and writes a C++ header of the merged,
sorted code point ranges of the general categories L* and N*: a kind rule of the
administrators' would be no rule if a "symbol" could be a digit or a letter, of any script.
"""

import sys
from pathlib import Path

from character_classes import records, version

FILE = "DerivedGeneralCategory.txt"


def ranges(unicode_dir):
    found = sorted((first, last) for first, last, value in records(Path(unicode_dir) / FILE) if value[0] in "LN")
    merged = []
    for first, last in found:
        if merged and merged[-1][1] == first - 1:
            merged[-1][1] = last
        else:
            merged.append([first, last])
    return merged


def main(unicode_dir, out):
    rows = "".join(f"    {{0x{first:04X}, 0x{last:04X}}},\n" for first, last in ranges(unicode_dir))
    Path(out).write_text(f"// Made by cmake/letters_and_numbers.py from Unicode {version(Path(unicode_dir) / FILE)}.\n"
                         "inline constexpr CodePointRange LETTERS_AND_NUMBERS[] = {\n" + rows + "};\n",
                         encoding="utf-8")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().split("\n\n")[1].strip())
    main(*sys.argv[1:])
