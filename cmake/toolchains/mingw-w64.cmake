# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model: Qt needs
# std::thread). Libraries come from the prefix that scripts/windows/deps builds, given as
# ZELKORA_MINGW_PREFIX on the command line or in the environment.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELKORA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELKORA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELKORA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELKORA_MINGW_TRIPLET}-windres)

if(NOT ZELKORA_MINGW_PREFIX AND DEFINED ENV{ZELKORA_MINGW_PREFIX})
    set(ZELKORA_MINGW_PREFIX "$ENV{ZELKORA_MINGW_PREFIX}")
endif()
if(NOT ZELKORA_MINGW_PREFIX OR NOT IS_DIRECTORY "${ZELKORA_MINGW_PREFIX}")
    message(FATAL_ERROR "ZELKORA_MINGW_PREFIX must name the folder that scripts/windows/deps "
                        "prints (now: '${ZELKORA_MINGW_PREFIX}')")
endif()
# try_compile projects read this file again; hand the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZELKORA_MINGW_PREFIX)

set(CMAKE_FIND_ROOT_PATH "${ZELKORA_MINGW_PREFIX}" /usr/${ZELKORA_MINGW_TRIPLET})
list(PREPEND CMAKE_PREFIX_PATH "${ZELKORA_MINGW_PREFIX}")
# Only the prefix's .pc files: the host's would hand Linux libraries to the linker.
set(ENV{PKG_CONFIG_LIBDIR} "${ZELKORA_MINGW_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
# The compiler's and mingw-w64's own libraries through the prefix's links to them
# (scripts/windows/deps says why): find_library, and pkg-config's -l names that CMake
# turns into paths, then name them there and not under /usr.
list(PREPEND CMAKE_LIBRARY_PATH "${ZELKORA_MINGW_PREFIX}/toolchain-lib")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
