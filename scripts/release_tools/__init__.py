"""What the release scripts share: records of the bundled libraries, notices, SBOMs.

    project          the version and artefact name, from the build's CPack configuration
    components       components.json, the record the notices tools hand to the SBOM
    debian_records   Debian's pool, installed packages' sources, copyright files
    linux_notices    the Linux archive's notice        (scripts/linux-notices)
    windows_notices  the Windows package's notices     (scripts/windows/notices)
    windows_texts      and their THIRD-PARTY-NOTICES.txt and SOURCES.txt
    qt_attributions    and the third-party code in the Qt DLLs
    used_files       which attributed Qt sources went into which DLL (scripts/windows/deps)
    sbom             the SPDX bill of materials         (scripts/sbom)
    installer_files  what the Windows installer installs and records
"""
