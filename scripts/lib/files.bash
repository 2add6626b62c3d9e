# Part of the prelude (common.bash): removing folder trees safely.

# Removes a folder tree of ours; when anything is mounted inside it, says so and returns 1
# instead, leaving it whole: rm would walk into a bind of the same file system, which
# --one-file-system cannot tell apart. The caller decides whether that ends its run.
remove_tree() {
    local dir=$1 target
    [ -e "$dir" ] || return 0
    dir=$(realpath "$dir")
    while IFS= read -r target; do
        target=$(printf '%b' "$target")
        case "$target" in
            "$dir" | "$dir"/*) say "not removing $dir: $target is mounted inside it"; return 1 ;;
        esac
    done < <(findmnt --raw --noheadings --output TARGET)
    # Folders the root's packages made read-only for their owner would stop rm.
    chmod -R u+w -- "$dir" 2>/dev/null || true
    rm -rf --one-file-system -- "$dir"
}
