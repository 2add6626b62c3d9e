# Part of scripts/windows/deps, sourced by it: the source packages, fetched through a
# private apt state, unpacked with Debian's patches, and the date each build is pinned to.
# Uses $cache, $work, $sources and $legal of the script.

# Source packages come through a private apt state with deb-src entries, so the
# machine's own apt configuration is left as it is; their addresses are the machine's
# own (scripts/lib/apt_sources.py): Debian 13's, and Debian 12's for log4cplus.
apt_state="$cache/apt-trixie"
apt_opts=(-o "Dir::Etc::sourcelist=$apt_state/debian.sources" -o Dir::Etc::sourceparts=-
          -o "Dir::State::Lists=$apt_state/lists" -o "Dir::Cache=$apt_state/cache"
          -o APT::Sandbox::User=root)
apt_ready=
private_apt_update() {
    [ -n "$apt_ready" ] && return
    mkdir -p "$apt_state/lists/partial" "$apt_state/cache/archives/partial"
    { "$python" "$root/scripts/lib/apt_sources.py" trixie deb-src && echo \
        && "$python" "$root/scripts/lib/apt_sources.py" bookworm deb-src; } >"$apt_state/debian.sources"
    apt-get "${apt_opts[@]}" update -qq >&2 || die "could not read the source package lists from the Debian archive"
    apt_ready=1
}

# Unpacks source package $1 at version $2 into $work/$1 (with Debian's patches applied);
# the downloaded files are kept in $sources for the next build.
fetch_source() {
    local name=$1 version=$2 dsc
    dsc="$sources/${name}_${version#*:}.dsc"
    if [ ! -f "$dsc" ]; then
        private_apt_update
        # Kept only when every file of the package came.
        local download
        download=$(mktemp -d "$sources/.download-XXXXXX")
        if ! (cd "$download" && apt-get "${apt_opts[@]}" source --download-only -qq "$name=$version" >&2); then
            rm -rf "$download"
            return 1
        fi
        mv "$download"/* "$sources"/
        rmdir "$download"
    fi
    rm -rf "${work:?}/$name"
    dpkg-source --no-check -x "$dsc" "$work/$name" >/dev/null || return 1
}

# Whatever the tools stamp with a time (ld's export directories, the gzip header of
# QtCore's MIME database, rcc) takes the sources' own date instead of the build's, as
# Debian does: the newest entry of the source package's changelog. UiTools from Qt's own
# tarball has no changelog and takes Qt base's, which it is built against. Kept in the
# legal records, where the build record reads it.
pin_source_date() {
    local src=$1 name=$2
    if [ -f "$src/debian/changelog" ]; then
        SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$src/debian/changelog" -STimestamp)
    else
        SOURCE_DATE_EPOCH=$(cat "$legal/qt6-base/source-date-epoch")
    fi
    export SOURCE_DATE_EPOCH
    mkdir -p "$legal/$name"
    echo "$SOURCE_DATE_EPOCH" >"$legal/$name/source-date-epoch.part"
}
