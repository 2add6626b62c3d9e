"""The notices of the Windows package, and what its SBOM is made of.

Made from what scripts/windows/deps keeps beside the libraries it builds (PREFIX/share/
zelkora-desk/legal/<source package>/: the sources with their checksums, Debian's
copyright file and patches, the licence texts, Qt's attribution records and which of
the files they cover went into which DLL) and from the Debian packages of the cross
compiler's run-time libraries and of NSIS.
"""

import re
import sys
from pathlib import Path

from . import components, project, qt_attributions, unicode_data
from .components import Component
from .debian_records import apt_sources, copyright_holders, installed, snapshot_url
from .windows_texts import notices_text, sources_text

# Qt's own repository at the release tag the tarball was made from (git archive of the
# tag): Qt's published submodule tarball of that release holds other bytes.
QTTOOLS_REPOSITORY = "git+https://code.qt.io/qt/qttools.git"
QT_LICENCE = "LGPL-3.0-only"
QT_OFFERED = "LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only"
QT_COPYRIGHT = ["Copyright (C) The Qt Company Ltd. and other contributors"]
GCC_COPYRIGHT = Path("/usr/share/doc/gcc-mingw-w64-base/copyright")
MINGW_COPYRIGHT = Path("/usr/share/doc/mingw-w64-common/copyright")
NSIS_COPYRIGHT = Path("/usr/share/doc/nsis/copyright")

# Our programs: the console one links neither Qt nor log4cplus.
WINDOW, CONSOLE = "app/zelkora-desk.exe", "app/zelkora-cli.exe"

# Which component each shipped program file belongs to; anything else that runs fails.
OWNERS = [
    (r"app/Qt6UiTools\.dll", "qt6-tools"),
    (r"app/(Qt6\w+\.dll|platforms/q\w+\.dll|styles/q\w+\.dll)", "qt6-base"),
    (r"app/(libstdc\+\+-6|libgcc_s_seh-1)\.dll", "gcc-mingw-w64"),
    (r"app/libwinpthread-1\.dll", "mingw-w64"),
    (r"app/zelkora-(desk|cli)\.exe", "zelkora-desk"),
]


class Legal:
    """What deps kept of the libraries it built, and the licence texts going into the package."""

    def __init__(self, prefix, stage):
        self.cache = Path(prefix).parent
        self.root = Path(prefix) / "share" / "zelkora-desk" / "legal"
        self.licences = Path(stage) / "licenses"
        self.licences.mkdir(parents=True, exist_ok=True)

    def keep(self, name, text):
        """Puts a licence text into the package's licenses/ folder; its name there."""
        (self.licences / name).write_text(text, encoding="utf-8")
        return name

    def keep_file(self, name, path):
        return self.keep(name, Path(path).read_text(encoding="utf-8"))

    def sources(self, package):
        """Its version, and [(file, SHA-256)] of the source it was built from."""
        rows = [line.split("\t") for line in (self.root / package / "source.tsv").read_text(
            encoding="utf-8").splitlines() if line]
        return rows[0][1], [(row[2], row[3]) for row in rows]


def patches_note(records):
    """Which patches went onto the source package, Debian's first, then the project's."""
    debian = (records / "debian-patches").read_text(encoding="utf-8").split()
    ours = (records / "project-patches").read_text(encoding="utf-8").split()
    note = "Debian's patches applied, in order: " + ", ".join(debian)
    if ours:
        note += ("; then the project's Windows-only fixes from later Qt releases "
                 "(scripts/windows/patches/qtbase of zelkora-desk's source): " + ", ".join(ours))
    return note


def build_options_note(records):
    """The build options that change what a library does, as deps recorded them."""
    options = (records / "build-options").read_text(encoding="utf-8").split()
    return ("Built with " + ", ".join(options) + " (no thread pool: asynchronous appending, "
            "which needs it, is refused by the program)") if options else ""


def built_libraries(legal):
    """Qt base, Qt UiTools, libsodium and log4cplus, as deps built them."""
    qt_texts = legal.root / "qt6-base" / "LICENSES"
    lgpl = legal.keep_file("LGPL-3.0-only.txt", qt_texts / "LGPL-3.0-only.txt")
    gpl = legal.keep_file("GPL-3.0.txt", qt_texts / "GPL-3.0-only.txt")
    qtbase_version, qtbase_sources = legal.sources("qt6-base")
    qttools_version, qttools_sources = legal.sources("qt6-tools")
    sodium_version, sodium_sources = legal.sources("libsodium")
    log4cplus_version, log4cplus_sources = legal.sources("log4cplus")
    from_tarball = not qttools_sources[0][0].endswith(".dsc")
    qttools_upstream = qttools_version.removeprefix("upstream-")
    return [
        Component(
            "qt6-base", "Qt Base (Qt Core, Gui, Widgets and their plug-ins)", qtbase_version, QT_LICENCE,
            QT_OFFERED, copyright=QT_COPYRIGHT, download=snapshot_url("qt6-base", qtbase_version),
            sources=qtbase_sources, homepage="https://www.qt.io/", linked_into=[WINDOW],
            texts=[lgpl, gpl, legal.keep_file("qt6-base-debian-copyright.txt",
                                              legal.root / "qt6-base" / "debian-copyright")],
            note=patches_note(legal.root / "qt6-base")),
        Component(
            "qt6-tools", "Qt UiTools (from Qt Tools)", qttools_upstream if from_tarball else qttools_version,
            QT_LICENCE, QT_OFFERED, copyright=QT_COPYRIGHT,
            supplier="Organization: The Qt Company" if from_tarball else "Organization: Debian",
            download=f"{QTTOOLS_REPOSITORY}@v{qttools_upstream}" if from_tarball
            else snapshot_url("qt6-tools", qttools_version),
            sources=qttools_sources, homepage="https://www.qt.io/", texts=[lgpl, gpl], linked_into=[WINDOW],
            note=f"Qt's own qttools module at its release tag v{qttools_upstream}, as a git archive of the tag "
                 f"(not Qt's published release tarball, whose bytes differ), built against the Qt Base above "
                 f"(Debian's qt6-tools source is not served where this was built); only src/uitools and the form "
                 f"loader it uses are built" if from_tarball else ""),
        Component(
            "libsodium", "libsodium", sodium_version, "ISC",
            copyright=copyright_holders(legal.root / "libsodium" / "debian-copyright"),
            download=snapshot_url("libsodium", sodium_version), sources=sodium_sources,
            homepage="https://libsodium.org/", link="static",
            texts=[legal.keep_file("libsodium-LICENSE.txt", legal.root / "libsodium" / "LICENSE")]),
        Component(
            "log4cplus", "log4cplus", log4cplus_version, "Apache-2.0 AND BSD-2-Clause",
            copyright=copyright_holders(legal.root / "log4cplus" / "debian-copyright"),
            download=snapshot_url("log4cplus", log4cplus_version), sources=log4cplus_sources,
            homepage="https://github.com/log4cplus/log4cplus", link="static", linked_into=[WINDOW],
            texts=[legal.keep_file("log4cplus-LICENSE.txt", legal.root / "log4cplus" / "LICENSE"),
                   legal.keep_file("Apache-2.0.txt", qt_texts / "Apache-2.0.txt")],
            note=build_options_note(legal.root / "log4cplus")),
    ]


def compiler_runtime(legal, gpl):
    """The DLLs of the cross compiler's run-time that ship beside the program."""
    gcc = installed("gcc-mingw-w64-x86-64-posix-runtime")
    mingw = installed("mingw-w64-x86-64-dev")
    # Debian versions the cross compiler <GCC's own Debian version>+<its packaging's>.
    upstream = ("gcc-" + gcc.version.split(".")[0], gcc.version.split("+" + gcc.source_version)[0])
    gcc_copyright = GCC_COPYRIGHT.read_text(encoding="utf-8")
    exception = re.search(r"^ *GCC RUNTIME LIBRARY EXCEPTION.*?(?=^\S.*\n\n|\Z)", gcc_copyright, re.M | re.S)
    return [
        Component(
            "gcc-mingw-w64", "GCC run-time libraries (libstdc++, libgcc)", gcc.version,
            "GPL-3.0-or-later WITH GCC-exception-3.1", copyright=["Copyright (C) Free Software Foundation, Inc."],
            download=snapshot_url(gcc.source, gcc.source_version),
            sources=apt_sources(legal.cache, gcc.source, gcc.source_version) + apt_sources(legal.cache, *upstream),
            homepage="https://gcc.gnu.org/",
            texts=[gpl, legal.keep("GCC-exception-3.1.txt", exception.group(0)),
                   legal.keep("gcc-mingw-w64-debian-copyright.txt", gcc_copyright)],
            note=f"built by Debian's {gcc.source} {gcc.source_version} from {upstream[0]} {upstream[1]}"),
        Component(
            "mingw-w64", "mingw-w64 winpthreads and start-up code", mingw.source_version, "MIT AND ZPL-2.1",
            copyright=copyright_holders(MINGW_COPYRIGHT, "mingw-w64-libraries/winpthreads/*")
            + copyright_holders(MINGW_COPYRIGHT),
            download=snapshot_url(mingw.source, mingw.source_version),
            sources=apt_sources(legal.cache, mingw.source, mingw.source_version),
            homepage="https://www.mingw-w64.org/",
            texts=[legal.keep_file("mingw-w64-debian-copyright.txt", MINGW_COPYRIGHT)],
            note="libwinpthread-1.dll beside the program (MIT); the C run-time's start-up code linked into "
                 "zelkora-desk.exe and zelkora-cli.exe (ZPL-2.1 and public domain)"),
    ]


def write_notices(build, prefix, stage, components_json):
    stage = Path(stage)
    legal = Legal(prefix, stage)
    libraries = built_libraries(legal)
    qtbase = libraries[0]
    ours = components.ours(project.version(build), texts=["../LICENSE.txt"])
    qtbase_tarball = legal.cache / "sources" / next(f for f, _ in qtbase.sources if ".orig.tar" in f)
    contained = qt_attributions.contained(legal.root / "qt6-base", qtbase_tarball, legal.licences,
                                          {p.name for p in stage.rglob("*.dll")})
    unicode_licence = unicode_data.licence(unicode_data.data_version(build))
    unicode = unicode_data.component(
        build, [legal.keep_file(f"{unicode_licence}.txt", legal.root / "qt6-base" / "LICENSES" / f"{unicode_licence}.txt")])
    found = [ours, *libraries, unicode, *compiler_runtime(legal, qtbase.texts[1]), *contained]

    by_key = {c.key: c for c in found}
    for path in sorted(p for p in stage.rglob("*") if p.is_file()):
        inner = path.relative_to(stage).as_posix()
        owner = next((key for pattern, key in OWNERS if re.fullmatch(pattern, inner)), None)
        if owner is None and path.suffix.lower() in (".dll", ".exe"):
            sys.exit(f"scripts/windows/notices: {inner} belongs to no component: name it in OWNERS")
        by_key[owner or "zelkora-desk"].files.append(inner)
    for component in contained:
        component.files = [f for f in qtbase.files if Path(f).name in component.dlls]

    (stage / "THIRD-PARTY-NOTICES.txt").write_text(notices_text(found), encoding="utf-8")
    (stage / "SOURCES.txt").write_text(sources_text(found), encoding="utf-8")
    components.write(components_json, found)


def write_installer_notice(prefix, stage, components_json):
    """The installer's own part: setup.exe and the uninstall.exe it writes are NSIS stubs."""
    nsis = installed("nsis")
    text = (f"setup.exe and uninstall.exe are made with NSIS {nsis.version} (https://nsis.sourceforge.io/),\n"
            f"from Debian's source package {nsis.source} {nsis.source_version}. Their NSIS code (the installer's "
            "stub,\ncompressed with LZMA) is under the zlib licence, its LZMA decoder under the CPL with the\n"
            "LZMA exception. Debian's record of NSIS's copyright and licences follows.\n\n"
            + NSIS_COPYRIGHT.read_text(encoding="utf-8"))
    (Path(stage) / "licenses" / "NSIS.txt").write_text(text, encoding="utf-8")
    components.write(components_json, [Component(
        "nsis", "NSIS installer stub", nsis.version, "Zlib AND CPL-1.0 WITH LZMA-exception",
        copyright=copyright_holders(NSIS_COPYRIGHT),
        download=snapshot_url(nsis.source, nsis.source_version),
        sources=apt_sources(Path(prefix).parent, nsis.source, nsis.source_version),
        homepage="https://nsis.sourceforge.io/", texts=["NSIS.txt"], link="stub", files=["licenses/NSIS.txt"],
        note="the stub that setup.exe and the uninstall.exe it writes run in")])
