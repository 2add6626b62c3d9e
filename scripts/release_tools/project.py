"""The release's version and artefact name, read in one place: the CPack configuration of
a build tree, which CMake writes from the project() line of CMakeLists.txt.

    python3 -m release_tools.project BUILD version|name
"""

import re
import sys
from pathlib import Path

SETTINGS = {"version": "CPACK_PACKAGE_VERSION", "name": "CPACK_PACKAGE_FILE_NAME"}


def setting(build, what):
    """`what` ("version" or "name": zelkora-desk-<version>-<system>-<processor>) of a build."""
    config = Path(build) / "CPackConfig.cmake"
    found = re.search(rf'^set\({SETTINGS[what]} "([^"]+)"\)$', config.read_text(encoding="utf-8"), re.M)
    if not found:
        sys.exit(f"release_tools.project: {config} sets no {SETTINGS[what]}")
    return found.group(1)


def version(build):
    return setting(build, "version")


def artefact_name(build):
    return setting(build, "name")


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[2] not in SETTINGS:
        sys.exit(__doc__)
    print(setting(*sys.argv[1:]))
