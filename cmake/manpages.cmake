# The manual pages (English and Japanese) and zelkora-cli's bash completion, made from
# zelkora-cli's own --help and packaging/linux/manpages.toml by cmake/manpages.py, which
# fails the build when the two no longer agree. Included from src/zelkora after the
# zelkora-cli target; not for a cross build, whose program cannot run here.
#
#   ${CMAKE_BINARY_DIR}/man/man1/{zelkora-cli,zelkora-desk}.1
#   ${CMAKE_BINARY_DIR}/man/ja/man1/{zelkora-cli,zelkora-desk}.1
#   ${CMAKE_BINARY_DIR}/man/completions/zelkora-cli

set(zelkora_man ${CMAKE_BINARY_DIR}/man)
set(zelkora_man_outputs "")
foreach(folder IN ITEMS man1 ja/man1)
    foreach(name IN ITEMS zelkora-cli zelkora-desk)
        list(APPEND zelkora_man_outputs ${zelkora_man}/${folder}/${name}.1)
    endforeach()
endforeach()
list(APPEND zelkora_man_outputs ${zelkora_man}/completions/zelkora-cli)
set(zelkora_man_script ${PROJECT_SOURCE_DIR}/cmake/manpages.py)
set(zelkora_man_source ${PROJECT_SOURCE_DIR}/packaging/linux/manpages.toml)
add_custom_command(OUTPUT ${zelkora_man_outputs}
    COMMAND ${ZELKORA_BUILD_PYTHON3} ${zelkora_man_script} $<TARGET_FILE:zelkora-cli> ${zelkora_man_source}
            ${PROJECT_VERSION} ${ZELKORA_RELEASE_DATE} ${zelkora_man}
    DEPENDS zelkora-cli ${zelkora_man_script} ${zelkora_man_source}
    COMMENT "Making the manual pages and the completion from zelkora-cli --help"
    VERBATIM)
add_custom_target(zelkora_manpages ALL DEPENDS ${zelkora_man_outputs})
