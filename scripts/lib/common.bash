# Sourced by the project's scripts: what every one of them would otherwise write again.
#   source "$(dirname "$0")/lib/common.bash"      (or ../lib from scripts/windows)
# Sets $root (the checkout), and gives say/die in the calling script's name, package
# installs, the commit's time and the package version.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
script_name=${0#"$root"/}

say() { echo "${script_name##*/}: $*" >&2; }
die() { echo "$script_name: $*" >&2; exit 1; }

# Installs the Debian packages named that are not installed yet; apt is not touched when
# nothing is missing. Through sudo when not root.
need_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
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
