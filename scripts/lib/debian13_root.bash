# Sourced by scripts/debian13: makes, keeps and prunes the project's Debian 13 roots.
#   debian13_root      sets $base to this checkout's root, made if it is not yet, and holds
#                      it (fd 7, a shared lock, which the command must not inherit) until
#                      the caller exits
# A root is a plain folder, every file of it the caller's own, made with mmdebstrap in its
# unshare mode: its mounts live in a namespace of mmdebstrap's own and go with it however
# it ends, and no step needs root rights where the machine allows user namespaces.
# Roots live in ${XDG_CACHE_HOME:-$HOME/.cache}/zelkora-desk/roots/debian13-<key>, the key a
# hash of how a root is made and of the package list, so a changed list makes a new root; a root is
# removed once no run has used it for $root_max_age_days days, never while one holds it.

root_suite=trixie
root_max_age_days=3

# Makes the root for the packages named, in $base, through a folder beside it that becomes
# $base only when complete: an interrupted making leaves no half root for a run to use,
# and what it leaves (its folder, its apt settings in it) goes at the next making or
# pruning. mmdebstrap and tar end with this script, however it ends (a TERM or a kill -9
# from a timeout included), rather than making a root nobody waits for: mmdebstrap waits out
# a signal unless its helpers get it too, so it runs under timeout (with no time limit),
# which passes a signal on to its whole process group, and gets one when this script ends.
_make_root() {
    local making="$roots/.making-$key" started=$SECONDS
    say "making the Debian 13 root $base (${#packages[@]} packages)"
    remove_tree "$making" || die "could not make the Debian 13 root"
    mkdir -p "$making" "$roots/debs-debian13"
    # The machine's own archive addresses and apt proxy settings (apt_sources.py says why),
    # in a file whose name becomes the root's sources file (apt reads no hidden names).
    "$python" "$root/scripts/lib/apt_sources.py" "$root_suite" deb deb-src >"$making/debian.sources"
    apt-config dump Acquire::http Acquire::https Acquire::ftp >"$making/apt.conf"
    local include
    include=$(IFS=,; echo "${packages[*]}")
    # The packages of the last root are kept in debs-debian13, so a new list downloads only
    # what is new. Its path is relative to the folder mmdebstrap starts in, so no path of
    # this machine is written into the hooks, which run as shell code.
    (
        cd "$roots"
        exec setpriv --pdeathsig TERM timeout 0 mmdebstrap --mode=unshare --format=tar --quiet --variant=apt \
            --include="$include" --aptopt="$making/apt.conf" --skip=essential/unlink \
            --setup-hook='mkdir -p "$1/var/cache/apt/archives/"' \
            --setup-hook='sync-in debs-debian13 /var/cache/apt/archives/' \
            --customize-hook='sync-out /var/cache/apt/archives debs-debian13' \
            "$root_suite" - "$making/debian.sources"
    ) | setpriv --pdeathsig TERM tar -x -C "$making" --no-same-owner --exclude='./dev/*' \
        || { remove_tree "$making"; die "could not make the Debian 13 root"; }
    rm -f "$making/debian.sources" "$making/apt.conf"
    # mmdebstrap's tar gives no file a time later than its start, which leaves fontconfig's
    # caches older than the folders they describe: made again, or every program run in the
    # read-only root would write caches of its own into its HOME.
    if [ -x "$making/usr/bin/fc-cache" ]; then
        bwrap --unshare-user --uid 0 --gid 0 --cap-drop ALL --die-with-parent --bind "$making" / \
            --proc /proc --dev /dev fc-cache --system-only || die "could not make the root's font caches"
    fi
    # Mount points for what each run binds over them (the root is read-only to its
    # commands), and the machine id a desktop has: D-Bus and Qt's session code read it.
    # Each step on its own line, so that a full disk ends the making here.
    rm -f "$making/etc/resolv.conf"
    : >"$making/etc/resolv.conf"
    local machine_id
    machine_id=$(od -An -tx1 -N16 /dev/urandom | tr -d ' \n')
    printf '%s\n' "$machine_id" >"$making/etc/machine-id"
    mv "$making" "$base"
    say "root made in $((SECONDS - started)) s"
}

# Roots of other keys nobody has used for a while; each is taken with an exclusive lock
# first, so a run that holds it (or is about to: it locks before it looks) keeps it. Then
# what makings killed long ago left, unless a making is under way. One that cannot be
# removed (something is mounted inside it) is left and said so: it is not this run's.
_prune_roots() {
    local lock dir minutes=$((root_max_age_days * 24 * 60))
    for lock in "$roots"/debian13-*.lock; do
        dir=${lock%.lock}
        [ "$dir" = "$base" ] || [ ! -d "$dir" ] && continue
        [ -n "$(find "$lock" -mmin +"$minutes")" ] || continue
        (
            flock --nonblock --exclusive 6 || exit 0
            say "removing $dir, unused for $root_max_age_days days"
            remove_tree "$dir" || true
        ) 6>>"$lock"
    done
    (
        flock --nonblock 6 || exit 0
        find "$roots" -mindepth 1 -maxdepth 1 -name '.making-*' -mmin +"$minutes" -print0 \
            | while IFS= read -r -d '' dir; do remove_tree "$dir" || true; done
    ) 6>>"$roots/.making.lock"
}

debian13_root() {
    # ZELKORA_DEBIAN13_PACKAGES, names apart by spaces, stands in for the scripts' lists: the
    # runner's own tests make small roots with it.
    if [ -n "${ZELKORA_DEBIAN13_PACKAGES:-}" ]; then
        read -r -a packages <<<"$ZELKORA_DEBIAN13_PACKAGES"
    else
        mapfile -t packages < <({ "$root/scripts/install-deps" --list; "$root/scripts/install-deps" --list-desktop
            "$root/scripts/windows/deps" --list; "$root/scripts/windows/msi" --list; "$root/scripts/deb" --list; } | sort -u)
    fi
    roots="${XDG_CACHE_HOME:-$HOME/.cache}/zelkora-desk/roots"
    # The key: what decides a root's contents, so that a change to anything else here keeps
    # the roots there are.
    key=$( { declare -f _make_root; echo "$root_suite"; printf '%s\n' "${packages[@]}"; } | sha256sum | cut -c1-16)
    base="$roots/debian13-$key"
    mkdir -p "$roots"
    # Held for the whole run: the lock is taken before the root is looked at, so no pruning
    # can come between the two. The lock file's time is the root's last use. Shared, and
    # never traded for an exclusive one: two runs of one key, each holding it and waiting
    # for the other to let go, would wait for ever (a pipeline of two runs does just that).
    # Makings take a lock of their own instead, and the second finds the first's root.
    exec 7>>"$base.lock"
    flock --shared 7
    if [ ! -d "$base" ]; then
        # One making at a time, for the kept packages' folder.
        exec 6>>"$roots/.making.lock"
        flock 6
        if [ ! -d "$base" ]; then
            _make_root
        fi
        exec 6>&-
    fi
    touch "$base.lock"
    _prune_roots
}
