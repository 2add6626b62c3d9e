# The protections Debian builds its own packages with (dpkg-buildflags, hardening=+all),
# for the Linux builds that packages are made from. The sanitizer and fuzzing builds have
# their own instrumentation, which the stack protector and the checked string functions
# would only blur, and a Debug build has no optimisation for _FORTIFY_SOURCE to work with.
# The Windows build takes its flags in cmake/windows-cross.cmake, as its libraries do.
if(WIN32 OR ZELKORA_SANITIZE OR ZELKORA_FUZZ OR NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    return()
endif()

# Position-independent executables (ASLR for the program itself): Debian's compiler makes
# them by default; said here so that no other compiler or default quietly drops it. -fPIE,
# not the -fPIC that CMake would give the static libraries: they only go into executables.
add_compile_options(-fPIE)
add_link_options(-pie)

# Canaries in every function with an array or an address-taken local; glibc's checked
# copies (__memcpy_chk and the like) where the size is known; a probe on every page of a
# large stack frame, so that no frame can step over the guard page into another mapping.
add_compile_options(-fstack-protector-strong -fstack-clash-protection
                    -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
# Every symbol bound at start and the relocated data made read-only before main (full
# RELRO): no writable table of function addresses left for an overflow to redirect.
add_link_options(LINKER:-z,relro,-z,now)

# Intel CET, as Debian 13 builds its packages for amd64 (dpkg-buildflags' branch
# protection): an ENDBR64 at every indirect-branch target and the shadow-stack marking in
# every object. The program is marked as a whole only when every object linked into it
# is: Debian's glibc start files (Scrt1.o, crti.o) are not, so the linker drops the
# marking for now, as from Debian's own programs. Other processors have no such option.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i[3-6]86)$")
    add_compile_options(-fcf-protection)
endif()
