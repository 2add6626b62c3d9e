# Part of the prelude (common.bash): running a script again in the Debian 13 root.

# The Windows program is built, packed and tested on Debian 13 (scripts/windows/deps says
# why): elsewhere, a script that calls this runs again in the project's Debian 13 root
# (scripts/debian13), with the same arguments, and ends with it.
in_debian13() {
    [ "$(. /etc/os-release && echo "$VERSION_ID")" = 13 ] && return 0
    exec "$root/scripts/debian13" -- "$(realpath "$0")" "$@"
}
