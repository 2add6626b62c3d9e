# Sourced by the project's scripts: what every one of them would otherwise write again.
#   source "$(dirname "$0")/lib/common.bash"      (or ../lib from scripts/windows)
# Sets $root (the checkout), and gives say/die in the calling script's name, package
# installs, the release tools, the commit's time, builds and fresh Wine prefixes.

# Its real path, symbolic links resolved: the Debian 13 root binds the checkout there, and
# scripts run again inside it name themselves by it.
root=$(cd -P "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
script_name=${0#"$root"/}

say() { echo "${script_name##*/}: $*" >&2; }
die() { echo "$script_name: $*" >&2; exit 1; }

# Installs the Debian packages named that are not installed yet; apt is not touched when
# nothing is missing. Through sudo when not root. A name may be a virtual package (Debian
# 13's libqt6opengl6-dev is one, provided by qt6-base-dev): it counts as present when an
# installed package provides it, since dpkg itself never reports such a name installed.
need_packages() {
    local missing=() p
    local -A present=()
    # One query for every name; the names dpkg has never heard of make it fail, yet it
    # still prints the others. Only "installed": a removed package's left-over
    # configuration keeps its name known to dpkg.
    while read -r p; do [ -z "$p" ] || present[$p]=1; done <<<"$(dpkg-query -W -f='${db:Status-Status} ${Package}\n' "$@" 2>/dev/null \
        | awk '$1 == "installed" { print $2 }')"
    for p in "$@"; do
        [ -n "${present[$p]-}" ] || missing+=("$p")
    done
    if [ ${#missing[@]} -ne 0 ]; then
        # What the installed packages provide, one name a line, without the versions.
        while read -r p; do [ -z "$p" ] || present[$p]=1; done <<<"$(dpkg-query -W -f='${db:Status-Status}\t${Provides}\n' 2>/dev/null \
            | awk -F '\t' '$1 == "installed" { n = split($2, names, /, */)
                  for (i = 1; i <= n; i++) { sub(/[ :].*/, "", names[i]); if (names[i] != "") print names[i] } }')"
        set -- "${missing[@]}"
        missing=()
        for p in "$@"; do
            [ -n "${present[$p]-}" ] || missing+=("$p")
        done
    fi
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    say "installing ${missing[*]}"
    local log
    log=$(mktemp)
    { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq \
        && "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; } \
        >"$log" 2>&1 || { tail -n 20 "$log" >&2; rm -f "$log"; die "could not install: ${missing[*]}"; }
    rm -f "$log"
}

# Removes a folder tree of ours, refusing when anything is mounted inside it: rm would walk
# into a bind of the same file system, which --one-file-system cannot tell apart.
remove_tree() {
    local dir=$1 target
    [ -e "$dir" ] || return 0
    dir=$(realpath "$dir")
    while IFS= read -r target; do
        target=$(printf '%b' "$target")
        case "$target" in
            "$dir" | "$dir"/*) die "not removing $dir: $target is mounted inside it" ;;
        esac
    done < <(findmnt --raw --noheadings --output TARGET)
    # Folders the root's packages made read-only for their owner would stop rm.
    chmod -R u+w -- "$dir" 2>/dev/null || true
    rm -rf --one-file-system -- "$dir"
}

# Python that has the Debian packages' modules (python3-debian, license-expression, ...):
# the system's, whatever python3 comes first in PATH.
python=/usr/bin/python3

# Runs a module of scripts/release_tools: release_tool NAME ARGS...
release_tool() {
    PYTHONPATH="$root/scripts${PYTHONPATH:+:$PYTHONPATH}" "$python" -m "release_tools.$1" "${@:2}"
}

# Exports SOURCE_DATE_EPOCH as the last commit's time (0 outside a git checkout): every
# stamp in what ships takes it, so the same commit packs to the same bytes.
export_commit_time() {
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) || SOURCE_DATE_EPOCH=0
    export SOURCE_DATE_EPOCH
}

# Configures and builds a CMake preset of the checkout: build_preset PRESET [TARGET...];
# with no target, everything.
build_preset() {
    local preset=$1 target targets=()
    shift
    for target in "$@"; do targets+=(--target "$target"); done
    (cd "$root" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$(nproc)" "${targets[@]}")
}

# Wine, as Debian installs it: the 64-bit loader and its server.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

# Makes a fresh Wine prefix in a scratch folder of this run's own, $wine_scratch/wine,
# set up and exported as WINEPREFIX; the folder and whatever runs in the prefix go when
# the script exits. No Mono or Gecko prompts, no menu entries written into the real HOME,
# and no session bus for Wine and what runs under it: none is needed, and with dbus-x11
# and a display one would be autolaunched and outlive the run.
fresh_wine_prefix() {
    wine_scratch=$(mktemp -d)
    trap 'remove_wine_prefix' EXIT
    export WINEPREFIX="$wine_scratch/wine" WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" DBUS_SESSION_BUS_ADDRESS=disabled:
    "$wine" wineboot -i >/dev/null 2>&1
    "$wineserver" -w
}

remove_wine_prefix() {
    # Only this prefix's server, and whatever of ours still runs under it.
    "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$wine_scratch"
}

# The Windows program is built, packed and tested on Debian 13 (scripts/windows/deps says
# why): elsewhere, a script that calls this runs again in the project's Debian 13 root
# (scripts/debian13), with the same arguments, and ends with it.
in_debian13() {
    [ "$(. /etc/os-release && echo "$VERSION_ID")" = 13 ] && return 0
    exec "$root/scripts/debian13" -- "$(realpath "$0")" "$@"
}
