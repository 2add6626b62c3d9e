"""components.json: what the notices tools (scripts/linux-notices, scripts/windows/notices)
tell scripts/sbom of an artefact. A list of Component records, our own package first,
then every component bundled, linked or relied on.
"""

import json
from dataclasses import asdict, dataclass, field
from pathlib import Path

OURS = {"key": "zelkora-desk", "name": "zelkora-desk", "licence": "MIT",
        "copyright": ["Copyright (c) 2026 orvanel-works"], "supplier": "Organization: orvanel-works",
        "link": "self"}


@dataclass
class Component:
    key: str  # unique in the artefact; its SPDX identifier is made from it
    name: str
    version: str
    licence: str  # SPDX expression of the licence it is used under
    offered: str = ""  # SPDX expression of the licences it is offered under; "": licence
    copyright: list[str] = field(default_factory=list)
    supplier: str = "Organization: Debian"
    download: str = "NOASSERTION"
    sources: list[tuple[str, str]] = field(default_factory=list)  # (source file, its SHA-256)
    homepage: str | None = None
    texts: list[str] = field(default_factory=list)  # its licence texts, relative to licenses/
    # self: our program; static, dynamic: linked so into it; contained: compiled into the
    # DLLs of its parent's; stub: the installer's own code
    link: str = "dynamic"
    parent: str | None = None  # the key of the component whose source holds it
    note: str = ""
    files: list[str] = field(default_factory=list)  # what it ships in, relative to the top folder
    dlls: list[str] = field(default_factory=list)  # contained: the names of the DLLs it is in
    debian_source: str | None = None  # a system library: its Debian source package
    # static, dynamic: the programs it is linked into, relative to the top folder; empty:
    # every program of ours
    linked_into: list[str] = field(default_factory=list)

    def __post_init__(self):
        self.offered = self.offered or self.licence
        self.sources = [tuple(source) for source in self.sources]


def ours(version, **rest):
    """Our own package, zelkora-desk itself."""
    return Component(version=version, **{**OURS, **rest})


def write(path, components):
    Path(path).write_text(json.dumps([asdict(c) for c in components], indent=1, ensure_ascii=False),
                          encoding="utf-8")


def read(path):
    return [Component(**entry) for entry in json.loads(Path(path).read_text(encoding="utf-8"))]
