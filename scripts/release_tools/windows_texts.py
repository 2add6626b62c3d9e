"""THIRD-PARTY-NOTICES.txt and SOURCES.txt of the Windows package, from its components."""


def windows(path):
    return path.replace("/", "\\")


def notices_text(components):
    ours, rest = components[0], components[1:]
    lines = [
        f"zelkora-desk {ours.version}: third-party notices",
        "",
        "zelkora-desk is Copyright (c) 2026 orvanel-works and released under the MIT licence (LICENSE.txt).",
        "It uses Qt (https://www.qt.io/), under the GNU Lesser General Public License version 3",
        "(licenses\\LGPL-3.0-only.txt, which builds on licenses\\GPL-3.0.txt). The Qt DLLs in app\\ are linked",
        "dynamically: you may replace them with your own build of Qt 6.8. SOURCES.txt says where the",
        "source of every component below is, and how this package's libraries were built from it.",
        "",
    ]
    for number, component in enumerate(rest, 1):
        lines += [f"{number}. {component.name}", f"   Version:   {component.version}"]
        licence = component.licence
        if component.offered != component.licence:
            licence += f" (offered under {component.offered}; used here under {component.licence})"
        lines.append(f"   Licence:   {licence}")
        lines += [f"   Copyright: {c}" if i == 0 else f"              {c}" for i, c in enumerate(component.copyright)]
        programs = component.linked_into or ["app/zelkora-desk.exe", "app/zelkora-cli.exe"]
        where = {"static": "linked statically into " + " and ".join(windows(f) for f in programs),
                 "contained": "compiled into " + ", ".join(windows(f) for f in component.files)}
        shipped = where.get(component.link) or "shipped as " + ", ".join(windows(f) for f in component.files)
        lines.append(f"   In this package: {shipped}")
        if component.parent:
            lines.append(f"   Part of:   the {component.parent} source package ({component.note})")
        lines.append(f"   Source:    {component.download}")
        if component.texts:
            lines.append("   Licence text: " + ", ".join("licenses\\" + t for t in component.texts))
        lines.append("")
    return "\r\n".join(lines)


def sources_text(components):
    lines = [
        "Where the source of this package's components comes from",
        "",
        "Every library here was built from the source named below, with the commands in",
        "scripts/windows/deps of zelkora-desk's own source (Debian 13, mingw-w64 with posix threads).",
        "The Qt DLLs are linked dynamically: you may replace them with Qt 6.8 DLLs built yourself,",
        "for example from these same sources with your own changes.",
        "",
    ]
    for component in components:
        if not component.sources or component.parent:
            continue
        lines += [f"{component.name} {component.version}", f"  from: {component.download}"]
        lines += [f"  {name}  SHA-256 {digest}" for name, digest in component.sources]
        if component.note:
            lines.append(f"  {component.note}")
        lines.append("")
    return "\r\n".join(lines)
