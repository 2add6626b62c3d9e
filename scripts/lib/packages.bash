# Part of the prelude (common.bash): the Debian packages a script needs, installed when
# missing.

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
