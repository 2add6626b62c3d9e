# Part of the prelude (common.bash): builds of the checkout, the commit's time that every
# stamp takes, and the release tools.

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
