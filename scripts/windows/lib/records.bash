# Part of scripts/windows/deps, sourced by it: what a built library leaves beside itself
# for the notices and the project's build.

# What the notices, SOURCES.txt and the SBOM of the package are made from, kept in
# $legal/<source package>/ (scripts/windows/notices reads it):
#   source-date-epoch  the time every stamp in its libraries carries (pin_source_date)
#   source.tsv         the source package, its version, and each of its files with SHA-256
#                      (a tarball that came from ZELKORA_QTTOOLS_SOURCE is listed as such)
#   debian-copyright   Debian's copyright file; debian-patches: the patches applied, in order
#   LICENSES/, LICENSE*, COPYING*: the licence texts the sources carry
#   attributions/<dir>/qt_attribution.json: Qt's record of the third-party code in <dir>
#   used-files.tsv     <built DLL> TAB <source file>, for every file under such a <dir>
#                      that went into that DLL: read from the build's own dependency
#                      records, so it follows the FEATURE flags and never has to be guessed
keep_legal() {
    local name=$1 version=$2 src=$3 build=${4:-} out="$legal/$1"
    local epoch
    epoch=$(cat "$out/source-date-epoch.part")
    rm -rf "$out" && mkdir -p "$out"
    echo "$epoch" >"$out/source-date-epoch"
    local dsc="$sources/${name}_${version#*:}.dsc" file
    if [ -f "$dsc" ]; then
        for file in "$dsc" $(sed -n '/^Checksums-Sha256:/,/^[^ ]/s/^ [0-9a-f]\{64\} [0-9]* //p' "$dsc" | sed "s|^|$sources/|"); do
            printf '%s\t%s\t%s\t%s\n' "$name" "$version" "$(basename "$file")" "$(sha256sum "$file" | cut -c1-64)"
        done >"$out/source.tsv"
    else
        printf '%s\t%s\t%s\t%s\n' "$name" "$version" "$(basename "$ZELKORA_QTTOOLS_SOURCE")" \
            "$(sha256sum "$ZELKORA_QTTOOLS_SOURCE" | cut -c1-64)" >"$out/source.tsv"
    fi
    [ -f "$src/debian/copyright" ] && cp "$src/debian/copyright" "$out/debian-copyright"
    [ -f "$src/debian/patches/series" ] && grep -v '^#' "$src/debian/patches/series" >"$out/debian-patches" || true
    [ -d "$src/LICENSES" ] && cp -r "$src/LICENSES" "$out/LICENSES"
    find "$src" -maxdepth 1 -type f \( -name 'LICENSE*' -o -name 'COPYING*' \) -exec cp {} "$out/" \;
    (cd "$src" && find . -name qt_attribution.json -not -path './debian/*' -printf '%P\n') | while read -r file; do
        mkdir -p "$out/attributions/$(dirname "$file")"
        cp "$src/$file" "$out/attributions/$file"
    done
    [ -n "$build" ] || return 0
    [ -f "$build/config.summary" ] && cp "$build/config.summary" "$out/config.summary"
    ninja -C "$build" -t deps >"$work/deps.txt"
    "$python" "$root/scripts/release_tools/used_files.py" "$src" "$build" "$out" "$work/deps.txt"
}

# pkg-config file for a static library in the prefix: the project finds both libraries
# through pkg-config, on Linux and here alike.
write_pc() {
    cat >"$prefix/lib/pkgconfig/$1.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: $1
Description: $1 (static, $triplet)
Version: $2
Cflags: -I\${includedir} $3
Libs: -L\${libdir} $4
PC
}
