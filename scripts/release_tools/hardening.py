"""The protections of every program file a release ships: a table of file × property.

    python3 scripts/release_tools/hardening.py ARTEFACT...

An ARTEFACT is a release's .tar.gz or .zip (every ELF or PE file inside is read), or a
setup.exe (itself, and the uninstaller it writes, which 7-Zip takes out of it).
"""

import io
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile
from pathlib import Path

import pefile
from elftools.elf.dynamic import DynamicSection
from elftools.elf.elffile import ELFFile
from elftools.elf.sections import NoteSection

# 7-Zip by the name Debian 12 gives it, or Debian 13 (which has no 7zz).
SEVEN_ZIP = shutil.which("7zz") or "7z"
ELF = ("PIE", "RELRO", "BIND_NOW", "stack protector", "NX stack", "control-flow protection")
PE = ("ASLR", "high-entropy ASLR", "NX", "no W+X section", "stack protector")

DF_BIND_NOW, DF_1_NOW, DF_1_PIE = 0x8, 0x1, 0x08000000
PF_X = 0x1
# Intel CET in GNU_PROPERTY_X86_FEATURE_1_AND: indirect-branch targets marked (IBT, 0x1)
# and a shadow stack kept (SHSTK, 0x2); the linker sets them only when every object has them.
CET = 0x1 | 0x2
# libssp's __stack_chk_fail, linked in statically: the linker takes it only when code
# refers to it, which is what every canary check does.
SSP_MESSAGE = b"stack smashing detected"


def elf_properties(data):
    elf = ELFFile(io.BytesIO(data))
    tags, symbols, x86_features = {}, set(), 0
    for section in elf.iter_sections():
        if isinstance(section, NoteSection):
            for note in section.iter_notes():
                if note["n_type"] == "NT_GNU_PROPERTY_TYPE_0":
                    for prop in note["n_desc"]:
                        if prop["pr_type"] == "GNU_PROPERTY_X86_FEATURE_1_AND":
                            x86_features |= prop["pr_data"]
        if isinstance(section, DynamicSection):
            tags = {tag.entry.d_tag: tag.entry.d_val for tag in section.iter_tags()}
        if section.name == ".dynsym":
            symbols = {symbol.name for symbol in section.iter_symbols()}
    segments = {segment["p_type"]: segment for segment in elf.iter_segments()}
    stack = segments.get("PT_GNU_STACK")
    return {
        "PIE": elf["e_type"] == "ET_DYN" and bool(tags.get("DT_FLAGS_1", 0) & DF_1_PIE),
        "RELRO": "PT_GNU_RELRO" in segments,
        "BIND_NOW": "DT_BIND_NOW" in tags or bool(tags.get("DT_FLAGS", 0) & DF_BIND_NOW)
                    or bool(tags.get("DT_FLAGS_1", 0) & DF_1_NOW),
        "stack protector": "__stack_chk_fail" in symbols,
        "NX stack": stack is not None and not stack["p_flags"] & PF_X,
        "control-flow protection": x86_features & CET == CET,
    }


def pe_properties(data):
    pe = pefile.PE(data=data, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    relocations = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    stripped = pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_RELOCS_STRIPPED"]
    write, execute = (pefile.SECTION_CHARACTERISTICS[f"IMAGE_SCN_MEM_{m}"] for m in ("WRITE", "EXECUTE"))
    imported = {i.name for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for i in entry.imports}
    dll = pefile.DLL_CHARACTERISTICS
    return {
        "ASLR": bool(flags & dll["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"]) and relocations.Size > 0
                and not stripped,
        "high-entropy ASLR": bool(flags & dll["IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA"]),
        "NX": bool(flags & dll["IMAGE_DLLCHARACTERISTICS_NX_COMPAT"]),
        "no W+X section": not any(s.Characteristics & write and s.Characteristics & execute for s in pe.sections),
        "stack protector": SSP_MESSAGE in data or b"__stack_chk_fail" in imported,
    }


def properties(data):
    """{property: bool} of an ELF or PE file, or None for any other file."""
    if data.startswith(b"\x7fELF"):
        return elf_properties(data)
    if data.startswith(b"MZ"):
        return pe_properties(data)
    return None


def setup_files(path):
    """setup.exe itself and the uninstaller inside it."""
    files = {path.name: path.read_bytes()}
    with tempfile.TemporaryDirectory() as out:
        subprocess.run([SEVEN_ZIP, "x", "-y", f"-o{out}", str(path), "uninstall.exe", "-r"], check=True,
                       stdout=subprocess.DEVNULL)
        files.update({f"{path.name}:{p.name}": p.read_bytes() for p in Path(out).rglob("uninstall.exe")})
    return files


def binaries(path):
    """{name: {property: bool}} of every program file in an artefact."""
    path = Path(path)
    if path.suffix == ".exe":
        files = setup_files(path)
    elif path.suffix == ".zip":
        with zipfile.ZipFile(path) as archive:
            files = {n: archive.read(n) for n in archive.namelist() if not n.endswith("/")}
    else:
        with tarfile.open(path) as archive:
            files = {m.name: archive.extractfile(m).read() for m in archive if m.isfile()}
    found = {name: properties(data) for name, data in sorted(files.items())}
    return {name: found for name, found in found.items() if found is not None}


def main(artefacts):
    for artefact in artefacts:
        for name, found in binaries(artefact).items():
            print(f"{name}\t" + "\t".join(f"{key}: {'yes' if value else 'NO'}" for key, value in found.items()))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main(sys.argv[1:])
