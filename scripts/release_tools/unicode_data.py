"""Unicode's character data, as both programs carry it: the tables that class a symbol
set's characters (invisible, combining, full-width) are made from it at build time
(cmake/character_classes.py) and compiled in, so every artefact names it and its licence."""

import re
from pathlib import Path

from .components import Component
from .debian_records import installed, snapshot_url

# Where the build tree keeps the copies its tables were made from.
COPIES = "unicode"


def data_version(build):
    """The Unicode version of the data the build's tables were made from, e.g. "15.1.0"."""
    heading = (Path(build) / COPIES / "DerivedCoreProperties.txt").read_text(encoding="utf-8")
    return re.search(r"DerivedCoreProperties-(\d+\.\d+\.\d+)\.txt", heading).group(1)


def licence(version):
    """Unicode offers its data under the Unicode License v3 from 15.1 on, before under its
    Data Files and Software licence."""
    return "Unicode-3.0" if tuple(map(int, version.split("."))) >= (15, 1, 0) else "Unicode-DFS-2016"


def component(build, texts):
    """The data as a component of a program built in `build`; `texts` its licence texts."""
    version = data_version(build)
    heading = (Path(build) / COPIES / "DerivedCoreProperties.txt").read_text(encoding="utf-8")
    holder = re.search(r"^# © (\d+ Unicode®, Inc\.)", heading, re.M).group(1)
    package = installed("unicode-data")
    return Component(
        "unicode-data", "Unicode Character Database", version, licence(version), copyright=[f"Copyright © {holder}"],
        download=snapshot_url(package.source, package.source_version), homepage="https://www.unicode.org/ucd/",
        link="static", texts=texts,
        note=f"General_Category, Default_Ignorable_Code_Point and East_Asian_Width, compiled into the programs "
             f"as tables of code point ranges, made from Debian's unicode-data {package.version}")
