"""Which attributed third-party source files went into which built DLL.

    python3 scripts/release_tools/used_files.py SRC BUILD OUT DEPS_TXT

Reads the build's own records: ninja's dependency log (DEPS_TXT, from `ninja -t deps`)
for the files each object was compiled from, and ninja's link graph for the objects and
static libraries each DLL is made of. A file counts only when it lies under a folder of
SRC that has a qt_attribution.json (copied to OUT/attributions/ beforehand). Writes
OUT/used-files.tsv: <DLL relative to BUILD> TAB <file relative to SRC>, sorted. So the
notices follow the FEATURE flags of the build and never have to be guessed.
"""

import functools
import os
import subprocess
import sys


def attributed_folders(out):
    root = os.path.join(out, "attributions")
    return {os.path.relpath(folder, root)
            for folder, _, files in os.walk(root) if "qt_attribution.json" in files}


def compiled_from(deps_file, build, src, attributed):
    """Every object's attributed sources and headers, as the compiler reported them."""
    @functools.lru_cache(maxsize=None)
    def under_attribution(rel):
        parts = rel.split("/")[:-1]
        return any("/".join(parts[:i]) in attributed for i in range(1, len(parts) + 1))

    deps, current = {}, None
    with open(deps_file, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            if line.startswith("    "):
                path = os.path.normpath(os.path.join(build, line.strip()))
                if current is not None and path.startswith(src + "/"):
                    rel = os.path.relpath(path, src)
                    if under_attribution(rel):
                        deps[current].add(rel)
            elif line.strip():
                current = line.split(":")[0]
                deps[current] = set()
    return deps


def link_inputs(build, target):
    # Not checked: the DLLs of configure-time test projects lie in the build folder but
    # are no targets of its graph, and have no inputs of ours.
    shown = subprocess.run(["ninja", "-C", build, "-t", "query", target],
                           capture_output=True, text=True, check=False).stdout
    # "  input: <rule>", then the inputs: explicit ones, implicit ones after "| " (where
    # CMake lists the static libraries linked in), order-only ones after "|| ".
    found, reading = [], False
    for line in shown.splitlines():
        word = line.strip()
        if word.startswith("input:"):
            reading = True
        elif word == "outputs:":
            reading = False
        elif reading and word and not word.startswith("||"):
            found.append(word.removeprefix("| "))
    return found


def used_files(src, build, out, deps_file):
    src = os.path.normpath(os.path.abspath(src))
    deps = compiled_from(deps_file, build, src, attributed_folders(out))
    rows = set()
    for folder, _, files in os.walk(build):
        for name in files:
            if not name.endswith(".dll"):
                continue
            dll = os.path.relpath(os.path.join(folder, name), build)
            pending, seen = [dll], set()
            while pending:
                for item in link_inputs(build, pending.pop()):
                    if item in seen:
                        continue
                    seen.add(item)
                    if item.endswith(".a"):
                        pending.append(item)
                    rows.update((dll, rel) for rel in deps.get(item, ()))
    return sorted(rows)


def main(argv):
    src, build, out, deps_file = argv
    with open(os.path.join(out, "used-files.tsv"), "w", encoding="utf-8") as tsv:
        for dll, rel in used_files(src, build, out, deps_file):
            tsv.write(f"{dll}\t{rel}\n")


if __name__ == "__main__":
    main(sys.argv[1:])
