#!/usr/bin/python3
"""Makes the portable archive from the current build, for the package tests.

The output folder is emptied first, so the tests never pick up an archive left over
from an earlier build.
"""

import argparse
import shutil
import subprocess
import sys
from pathlib import Path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--out-dir", required=True)
    parser.add_argument("--cpack", default="cpack")
    args = parser.parse_args()

    out = Path(args.out_dir)
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    subprocess.run([args.cpack, "--config", str(Path(args.build_dir) / "CPackConfig.cmake"), "-B", str(out)],
                   check=True)
    archives = sorted(out.glob("*.tar.gz"))
    if len(archives) != 1:
        print(f"make_package: expected one archive in {out}, found {archives}", file=sys.stderr)
        return 1
    print(f"made {archives[0]}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
