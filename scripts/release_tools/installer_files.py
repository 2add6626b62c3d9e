"""What the Windows installer writes, listed from the package's folder, so that whatever
the zip holds is installed with no change to installer.nsi:

    python3 -m release_tools.installer_files STAGE OUT

OUT/files.nsh installs it; OUT/installed-files.txt (UTF-16, as NSIS reads it) goes along
as the record from which an update or the uninstaller removes exactly that.
"""

import sys
from pathlib import Path, PureWindowsPath


def windows(path):
    return str(PureWindowsPath(path))


def write_lists(stage, out):
    stage, out = Path(stage).resolve(), Path(out)
    files = sorted(path.relative_to(stage) for path in stage.rglob("*") if path.is_file())
    folders = sorted(path.relative_to(stage) for path in stage.rglob("*") if path.is_dir())
    commands = []
    for folder in [Path("."), *folders]:
        # $ begins a variable in what the installer does, not in what makensis reads.
        inside = "" if folder == Path(".") else "\\" + windows(folder).replace("$", "$$")
        commands.append(f'SetOutPath "$INSTDIR{inside}"')
        commands += [f'File "{stage / path}"' for path in files if path.parent == folder]
    (out / "files.nsh").write_text("".join(f"{command}\n" for command in commands), encoding="utf-8")
    # Files first, then folders deepest first: the order in which they can be removed.
    entries = [windows(path) for path in files] + [windows(folder) + "\\" for folder in reversed(folders)]
    (out / "installed-files.txt").write_text("".join(f"{entry}\r\n" for entry in entries), encoding="utf-16-le")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    write_lists(*sys.argv[1:])
