# Sourced by scripts/debian13: what a command run in the Debian 13 root may see.
#   debian13_sandbox COPY   sets $sandbox (bubblewrap's options, the command's working folder
#                           among them) and $environment (env's options and the settings
#                           the command gets) for the root in $base; with COPY, a folder
#                           whose src/ holds the copy of the tree to run in instead
# The root read-only, the kernel's file systems, a /root, /run and /var/tmp of its own, the
# host's /tmp (X servers number their displays by lock files there), the checkout at its
# own path (so build trees and dist/ land in it), the cache folder (the Windows libraries
# are built once) with the roots in it read-only, the working folder, and each file a
# ZELKORA_ variable names. Root inside, with no capability: a command that is root on the
# machine too could otherwise mount the cached root read-write again.

# Whether a folder can be bound at its own path: not in the root's own system folders,
# which are read-only and hold the root's files. /var/tmp is a fresh one of each run's.
_bindable() {
    case "$1" in
        /var/tmp/?*) return 0 ;;
        /usr | /usr/* | /etc | /etc/* | /var | /var/* | /bin* | /sbin* | /lib* | /proc* | /sys* | /dev* | /boot*) return 1 ;;
    esac
}

debian13_sandbox() {
    local copy=$1 entry name path
    sandbox=(--unshare-user --uid 0 --gid 0 --cap-drop ALL --unshare-pid --unshare-ipc --die-with-parent
             --proc /proc --dev /dev --ro-bind /sys /sys --tmpfs /run --tmpfs /root)
    # The root's own folders, read-only; the empty ones are made anew, so that any folder of
    # the host can be bound inside them.
    for entry in "$base"/*; do
        name=${entry##*/}
        case "$name" in
            proc | dev | sys | run | root | tmp) ;;
            *) if [ -L "$entry" ]; then
                   sandbox+=(--symlink "$(readlink "$entry")" "/$name")
               elif [ -z "$(ls -A "$entry")" ]; then
                   sandbox+=(--dir "/$name")
               else
                   sandbox+=(--ro-bind "$entry" "/$name")
               fi ;;
        esac
    done
    sandbox+=(--tmpfs /var/tmp --ro-bind /etc/resolv.conf /etc/resolv.conf --bind /tmp /tmp)

    # Folders bound read-write at their own paths, then what stays read-only over them: the
    # roots, and the files ZELKORA_ variables name, by their real paths.
    local cache="${XDG_CACHE_HOME:-$HOME/.cache}/zelkora-desk" workdir
    local writable=("$(realpath "$cache")") readonly=("$(realpath "$roots")")
    workdir=$(pwd -P)
    if [ -n "$copy" ]; then
        sandbox+=(--bind "$copy/src" /src)
        workdir=/src
    else
        writable+=("$root")
        if [ "$workdir" != / ]; then
            _bindable "$workdir" || die "cannot run in $workdir: the root has its own $workdir; run from elsewhere"
            writable+=("$workdir")
        fi
    fi
    for path in "${writable[@]}"; do
        _bindable "$path" || die "cannot bind $path: it is inside the root's own system folders"
    done

    # The command's environment: the root's own settings, with the caller's cache, its
    # ZELKORA_ settings, SOURCE_DATE_EPOCH and TERM; a file such a variable names is reached
    # by its real path. Every other name is dropped by env, whatever it is: bash can
    # neither unset BASHOPTS nor even see a name like DB-PASSWORD or an exported function.
    # Values travel in the environment only, never on a command line, where any user could
    # read a password.
    environment=()
    while IFS= read -r -d '' entry; do
        name=${entry%%=*}
        case "$name" in
            ZELKORA_* | SOURCE_DATE_EPOCH | TERM)
                if [[ $name =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]]; then
                    if [ -f "${!name}" ]; then
                        printf -v "$name" '%s' "$(realpath "${!name}")"
                        readonly+=("${!name}")
                    fi
                    continue
                fi ;;
        esac
        environment+=(-u "$name")
    done < <(env -0)
    environment+=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8
                  "XDG_CACHE_HOME=${cache%/zelkora-desk}")

    # Outermost first: a folder sorts before everything inside it. Null-separated, so that
    # a path may hold a newline.
    local sorted=()
    readarray -d '' sorted < <(printf '%s\0' "${writable[@]}" | LC_ALL=C sort -zu)
    for path in "${sorted[@]}"; do
        sandbox+=(--bind "$path" "$path")
    done
    for path in "${readonly[@]}"; do
        sandbox+=(--ro-bind "$path" "$path")
    done
    sandbox+=(--chdir "$workdir")
}
