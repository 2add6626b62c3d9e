# The Windows program built on Linux (cmake/toolchains/mingw-w64.cmake): what has to lie
# beside the executable, and how this machine runs the result (Wine).

# Where the DLLs the program loads come from: the cross prefix (Qt) and the compiler's
# own run-time (libstdc++, libgcc_s, libwinpthread), copied into the build tree: the
# program may be built in the Debian 13 root and tested outside it, where the compiler's
# folder does not exist (scripts/windows/test).
set(zelkora_runtime_dir "${CMAKE_BINARY_DIR}/runtime")
set(zelkora_dll_dirs "${ZELKORA_MINGW_PREFIX}/bin" "${zelkora_runtime_dir}")
foreach(runtime_dll libstdc++-6.dll libwinpthread-1.dll libgcc_s_seh-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime_dll}
                    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${runtime_path}" OR NOT EXISTS "${runtime_path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${runtime_dll} is")
    endif()
    file(COPY "${runtime_path}" DESTINATION "${zelkora_runtime_dir}" FOLLOW_SYMLINK_CHAIN)
endforeach()
# Qt's and log4cplus's headers inline code too: their folder is named by the same fixed
# word that scripts/windows/deps gives it in the libraries themselves, so neither this
# machine's cache nor its key reaches the program.
add_compile_options(-ffile-prefix-map=${ZELKORA_MINGW_PREFIX}=zelkora-deps/prefix)

# Stack protection and checked string functions, as in the libraries. The linker searches
# the prefix's links to the toolchain's libraries first: they give the import table the
# same order wherever the cache lies, and, holding only libssp's static archives, they
# keep a libssp DLL from having to ship (scripts/windows/deps).
add_compile_options(-fstack-protector-strong -D_FORTIFY_SOURCE=2)
add_link_options(-fstack-protector-strong -L${ZELKORA_MINGW_PREFIX}/toolchain-lib)

# Runs a Windows executable of this build under Wine with those DLLs on its path:
#   build-windows/wine-run tests/test_paths.exe
# Wine keeps host variables that begin with QT_ to itself; Qt's are passed as WINEQT_...
# The Wine prefix defaults to one inside the build tree, made at first use.
find_program(ZELKORA_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(ZELKORA_WINE64)
    set(wine_path "")
    foreach(dir IN LISTS zelkora_dll_dirs)
        string(APPEND wine_path "Z:${dir};")
    endforeach()
    get_filename_component(wine_dir "${ZELKORA_WINE64}" DIRECTORY)
    file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/wine-run" @ONLY CONTENT [[#!/bin/sh
export WINEPREFIX="${WINEPREFIX:-@CMAKE_BINARY_DIR@/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
export WINEPATH="@wine_path@"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # Tests run side by side; only one of them may make the prefix.
    mkdir -p "$WINEPREFIX"
    flock "$WINEPREFIX" sh -c '[ -f "$WINEPREFIX/system.reg" ] || { "$0" wineboot -i && "$1" -w; }' \
        "@ZELKORA_WINE64@" "@wine_dir@/wineserver" >/dev/null 2>&1
fi
exec "@ZELKORA_WINE64@" "$@"
]])
    file(CHMOD "${CMAKE_BINARY_DIR}/wine-run"
         PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run")
endif()

# The package: Qt's platform and style plug-ins, then every DLL that the executable and
# they import, and what those import in turn, found where the program will find them:
# beside it. objdump reads the import tables. (CMake's own file(GET_RUNTIME_DEPENDENCIES)
# looks DLL names up in lower case, which finds nothing on this case-sensitive file
# system.) A DLL that is in none of the folders above must be Windows' own: it is left
# out only when the toolchain has its import library (kernel32.dll: libkernel32.a);
# otherwise the install fails rather than ship a program that cannot start.
# Debian's Qt leaves its plug-ins out of find_package(Qt6) (QT_SKIP_AUTO_PLUGIN_INCLUSION):
# the two the package ships are asked for by name. Since Qt 6.7 one style plug-in holds
# both the Windows 10 and the Windows 11 style.
find_package(Qt6QWindowsIntegrationPlugin REQUIRED CONFIG HINTS "${Qt6Gui_DIR}")
find_package(Qt6QModernWindowsStylePlugin REQUIRED CONFIG HINTS "${Qt6Widgets_DIR}")
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION app/platforms)
install(FILES $<TARGET_FILE:Qt6::QModernWindowsStylePlugin> DESTINATION app/styles)

find_program(ZELKORA_MINGW_STRIP ${ZELKORA_MINGW_TRIPLET}-strip REQUIRED)
find_program(ZELKORA_MINGW_OBJDUMP ${ZELKORA_MINGW_TRIPLET}-objdump REQUIRED)
install(CODE "
set(dll_dirs \"${zelkora_dll_dirs}\")
set(system_libs \"/usr/${ZELKORA_MINGW_TRIPLET}/lib\")
set(strip \"${ZELKORA_MINGW_STRIP}\")
set(objdump \"${ZELKORA_MINGW_OBJDUMP}\")
set(app \"\${CMAKE_INSTALL_PREFIX}/app\")
")
install(CODE [[
foreach(dir IN LISTS dll_dirs)
    file(GLOB candidates "${dir}/*.dll")
    foreach(candidate IN LISTS candidates)
        get_filename_component(name "${candidate}" NAME)
        string(TOLOWER "${name}" name)
        if(NOT DEFINED "dll_${name}")
            set("dll_${name}" "${candidate}")
        endif()
    endforeach()
endforeach()
set(pending "$<TARGET_FILE:zelkora-desk>" "$<TARGET_FILE:zelkora-cli>" "$<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>"
            "$<TARGET_FILE:Qt6::QModernWindowsStylePlugin>")
set(seen "")
while(pending)
    list(POP_FRONT pending binary)
    execute_process(COMMAND "${objdump}" -p "${binary}" OUTPUT_VARIABLE dump COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
    foreach(import IN LISTS imports)
        string(REGEX REPLACE "^DLL Name: *" "" dll "${import}")
        string(STRIP "${dll}" dll)
        string(TOLOWER "${dll}" name)
        list(FIND seen "${name}" at)
        if(at GREATER -1)
            continue()
        endif()
        list(APPEND seen "${name}")
        string(REGEX REPLACE "\\.dll$" "" stem "${name}")
        if(DEFINED "dll_${name}")
            file(INSTALL "${dll_${name}}" DESTINATION "${app}" FOLLOW_SYMLINK_CHAIN)
            list(APPEND pending "${dll_${name}}")
        elseif(NOT name MATCHES "^(api|ext)-ms-" AND NOT EXISTS "${system_libs}/lib${stem}.a")
            message(FATAL_ERROR "${binary} needs ${dll}, which is in none of: ${dll_dirs}")
        endif()
    endforeach()
endwhile()
if(CMAKE_INSTALL_DO_STRIP)
    file(GLOB_RECURSE shipped "${app}/*.dll")
    foreach(dll IN LISTS shipped)
        execute_process(COMMAND "${strip}" --strip-unneeded "${dll}" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
endif()
]])
