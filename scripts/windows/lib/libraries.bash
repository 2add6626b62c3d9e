# Part of scripts/windows/deps, sourced by it: how each library is configured, built and
# installed into $prefix, with the script's $map_flags, $harden_flags and $harden_link.

cross_cmake() {
    cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DZELKORA_MINGW_PREFIX="$prefix" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS="$map_flags $harden_flags" -DCMAKE_CXX_FLAGS="$map_flags $harden_flags ${cxx_flags:-}" \
        -DCMAKE_EXE_LINKER_FLAGS="$harden_link" -DCMAKE_SHARED_LINKER_FLAGS="$harden_link" \
        -DCMAKE_MODULE_LINKER_FLAGS="$harden_link" "$@" >"$work/last-configure.log" 2>&1 \
        || { tail -n 40 "$work/last-configure.log" >&2; die "configure failed (log: $work/last-configure.log)"; }
}

build_qtbase() {
    fetch_source qt6-base "$qtbase_version" || die "could not fetch Debian's qt6-base $qtbase_version source"
    apply_project_patches "$work/qt6-base" qtbase
    pin_source_date "$work/qt6-base" qt6-base
    # permissions: the run-time permission requests Qt 6.5 added, which only mobile and
    # macOS programs make.
    local features=(pkg_config sql network dbus xml printsupport concurrent vulkan tabletevent
                    freetype fontconfig jpeg zstd icu androiddeployqt direct2d1_1 permissions
                    system_zlib system_pcre2 system_png system_doubleconversion system_harfbuzz)
    local off=()
    for f in "${features[@]}"; do off+=("-DFEATURE_$f=OFF"); done
    # INPUT_opengl=no: FEATURE_opengl=OFF alone still leaves dynamic OpenGL on. Direct2D
    # stays on: without it the qwindows plug-in does not link in this version.
    rm -rf "$work/qt6-base-build"
    cross_cmake -S "$work/qt6-base" -B "$work/qt6-base-build" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF -DQT_FORCE_BUILD_TOOLS=OFF \
        -DINPUT_opengl=no -DFEATURE_direct2d=ON "${off[@]}"
    cmake --build "$work/qt6-base-build" -j "$jobs" >"$work/qt6-base-build.log" 2>&1 \
        || { tail -n 40 "$work/qt6-base-build.log" >&2; die "Qt base did not build (log: $work/qt6-base-build.log)"; }
    cmake --install "$work/qt6-base-build" >/dev/null
    keep_legal qt6-base "$qtbase_version" "$work/qt6-base" "$work/qt6-base-build"
    keep_project_patches qt6-base "$qtbase_version" qtbase
}

# Debian builds Qt for Linux: a fix in code only the Windows build compiles is ours to
# take. The patches in scripts/windows/patches/<dir>/, in the order of its series file,
# go on after Debian's; one that does not apply stops the build.
apply_project_patches() {
    local src=$1 dir="$root/scripts/windows/patches/$2" name
    for name in $(grep -v '^#' "$dir/series"); do
        patch -d "$src" -p1 --forward --no-backup-if-mismatch --quiet <"$dir/$name" \
            || die "$2: the project's patch $name does not apply"
    done
}

# The project's patches as sources of the library they changed, with their SHA-256, in
# the order applied (the notices and SOURCES.txt name them after Debian's).
keep_project_patches() {
    local name=$1 version=$2 dir="$root/scripts/windows/patches/$3" patch
    grep -v '^#' "$dir/series" >"$legal/$name/project-patches"
    for patch in $(cat "$legal/$name/project-patches"); do
        printf '%s\t%s\t%s\t%s\n' "$name" "$version" "zelkora-desk/scripts/windows/patches/$3/$patch" \
            "$(sha256sum "$dir/$patch" | cut -c1-64)"
    done >>"$legal/$name/source.tsv"
}

build_uitools() {
    local src="$work/qt6-tools" tarball=${ZELKORA_QTTOOLS_SOURCE:-}
    [ -n "$tarball" ] || die "set ZELKORA_QTTOOLS_SOURCE to qttools-everywhere-src-$qttools_upstream.tar.xz"
    [ -f "$tarball" ] || die "ZELKORA_QTTOOLS_SOURCE=$tarball: no such file"
    echo "$qttools_tarball_sha256  $tarball" | sha256sum --check --status \
        || die "$tarball is not qttools $qttools_upstream (SHA-256 differs)"
    rm -rf "$src" && mkdir -p "$src"
    tar -xJf "$tarball" -C "$src" --strip-components=1
    pin_source_date "$src" qt6-tools
    rm -rf "$work/qt6-tools-build"
    # As it is: Network, which this Qt base lacks, is optional in 6.8's qttools.
    "$prefix/bin/qt-cmake" -G Ninja -S "$src" -B "$work/qt6-tools-build" -DCMAKE_BUILD_TYPE=Release \
        -DZELKORA_MINGW_PREFIX="$prefix" -DCMAKE_C_FLAGS="$map_flags $harden_flags" \
        -DCMAKE_CXX_FLAGS="$map_flags $harden_flags" -DCMAKE_SHARED_LINKER_FLAGS="$harden_link" \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DFEATURE_linguist=OFF -DFEATURE_designer=OFF \
        -DFEATURE_assistant=OFF -DFEATURE_qdoc=OFF -DFEATURE_clang=OFF -DFEATURE_pixeltool=OFF \
        -DFEATURE_qtdiag=OFF -DFEATURE_qtplugininfo=OFF -DFEATURE_qdbus=OFF -DFEATURE_qev=OFF \
        -DFEATURE_qtattributionsscanner=OFF -DFEATURE_distancefieldgenerator=OFF -DFEATURE_windeployqt=OFF \
        -DFEATURE_androiddeployqt=OFF -DFEATURE_macdeployqt=OFF >"$work/qt6-tools-configure.log" 2>&1 \
        || { tail -n 40 "$work/qt6-tools-configure.log" >&2; die "UiTools: configure failed (log: $work/qt6-tools-configure.log)"; }
    # The global module's headers too, which installing src/global below looks for.
    cmake --build "$work/qt6-tools-build" -j "$jobs" --target UiTools Tools_sync_headers >"$work/qt6-tools-build.log" 2>&1 \
        || { tail -n 40 "$work/qt6-tools-build.log" >&2; die "UiTools did not build (log: $work/qt6-tools-build.log)"; }
    # Install only what was built: UiTools, the UiPlugin headers it needs, their CMake files.
    local dir
    for dir in global uiplugin uitools; do
        cmake --install "$work/qt6-tools-build/src/$dir" >"$work/qt6-tools-install.log" 2>&1 \
            || { tail -n 20 "$work/qt6-tools-install.log" >&2; die "UiTools: installing src/$dir failed"; }
    done
    keep_legal qt6-tools "upstream-$qttools_upstream" "$src" "$work/qt6-tools-build"
}

build_sodium() {
    fetch_source libsodium "$sodium_version" || die "could not fetch Debian's libsodium $sodium_version source"
    local src="$work/libsodium"
    pin_source_date "$src" libsodium
    # Debian's tarball has no configure script.
    (cd "$src" && autoreconf -fi >/dev/null 2>&1) || die "libsodium: autoreconf failed"
    # libsodium's configure adds the stack protector itself when it links; the program
    # that links libsodium takes libssp statically (cmake/windows-cross.cmake).
    (cd "$src" && ./configure --host=$triplet --prefix="$prefix" --disable-shared --enable-static \
        CC=$triplet-gcc-posix CPPFLAGS="$map_flags -D_FORTIFY_SOURCE=2" CFLAGS="-O2 -fstack-protector-strong" \
        LDFLAGS="$harden_link" >"$work/libsodium-configure.log" 2>&1) \
        || { tail -n 20 "$work/libsodium-configure.log" >&2; die "libsodium: configure failed"; }
    make -C "$src" -j "$jobs" >"$work/libsodium-build.log" 2>&1 \
        || { tail -n 20 "$work/libsodium-build.log" >&2; die "libsodium did not build"; }
    make -C "$src" install >/dev/null
    keep_legal libsodium "$sodium_version" "$src"
    # Static on Windows: consumers must say so (no dllimport), and the system random
    # source lives in advapi32.
    write_pc libsodium "$(sed -n 's/^Version: //p' "$prefix/lib/pkgconfig/libsodium.pc")" \
        "-DSODIUM_STATIC" "-lsodium -ladvapi32"
}

build_log4cplus() {
    fetch_source log4cplus "$log4cplus_version" || die "could not fetch Debian's log4cplus $log4cplus_version source"
    pin_source_date "$work/log4cplus" log4cplus
    # Wide characters, and wide file names handed to the C++ library, which opens them
    # with _wfopen: a narrow name would go through the ANSI code page, in which a user
    # folder such as C:\Users\山田 may not exist. (log4cplus assumes that only MSVC can
    # open a stream by wide name.)
    # No thread pool: it serves only asynchronous appending, which the program refuses
    # (logging.cpp), yet it starts four threads at static initialisation. At the end of
    # main they are only told to detach, and one still inside winpthreads' exit code when
    # ExitProcess kills it leaves the lock that libstdc++'s detach code then waits on for
    # ever: a process that never ends, holding its log file.
    local options=(-DLOG4CPLUS_ENABLE_THREAD_POOL=OFF)
    rm -rf "$work/log4cplus-build"
    cxx_flags="-DLOG4CPLUS_FSTREAM_ACCEPTS_WCHAR_T" cross_cmake -S "$work/log4cplus" -B "$work/log4cplus-build" \
        -DBUILD_SHARED_LIBS=OFF -DLOG4CPLUS_BUILD_TESTING=OFF -DLOG4CPLUS_BUILD_LOGGINGSERVER=OFF \
        -DWITH_UNIT_TESTS=OFF -DLOG4CPLUS_ENABLE_DECORATED_LIBRARY_NAME=OFF -DUNICODE=ON \
        -DLOG4CPLUS_QT4=OFF -DLOG4CPLUS_QT5=OFF "${options[@]}"
    grep -q '^LOG4CPLUS_ENABLE_THREAD_POOL:BOOL=OFF$' "$work/log4cplus-build/CMakeCache.txt" \
        || die "log4cplus: this version has no LOG4CPLUS_ENABLE_THREAD_POOL option"
    cmake --build "$work/log4cplus-build" -j "$jobs" >"$work/log4cplus-build.log" 2>&1 \
        || { tail -n 20 "$work/log4cplus-build.log" >&2; die "log4cplus did not build"; }
    cmake --install "$work/log4cplus-build" >/dev/null
    keep_legal log4cplus "$log4cplus_version" "$work/log4cplus"
    printf '%s\n' "${options[@]#-D}" >"$legal/log4cplus/build-options"
    write_pc log4cplus "${log4cplus_version%-*}" "-DLOG4CPLUS_STATIC -DUNICODE -D_UNICODE -DLOG4CPLUS_FSTREAM_ACCEPTS_WCHAR_T" "-llog4cplus -lws2_32 -ladvapi32"
}
