# The install component "system": the program for every user of the machine, under the
# prefix (/usr in the Debian package, debian/rules), laid out as the distribution has it:
#
#   bin/zelkora-cli                                       needs nothing beside it
#   bin/zelkora-desk -> ../lib/zelkora-desk/zelkora-desk
#   lib/zelkora-desk/zelkora-desk                         the window's program, and beside it
#   lib/zelkora-desk/zelkora/logging.ini                  what it finds relative to its real
#   lib/zelkora-desk/zelkora/resources/ui/main_window.ui  path (links resolved)
#   share/applications/<id>.desktop, share/icons/hicolor/..., share/metainfo/<id>.metainfo.xml
#   share/man/man1/*.1, share/man/ja/man1/*.1, share/bash-completion/completions/zelkora-cli
#
# The window's program lies in a folder of its own under lib/ rather than in bin/: its form
# and logging.ini lie beside it, and bin/ holds programs only. Its all-users marker
# (ALL_USERS_MARKER in paths.h) is the package's to put in place, so that a hand-made
# `cmake --install` of this component stays a per-folder copy that logs beside itself.
# Included from src/zelkora after desktop.cmake and manpages.cmake, whose files it installs.

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(zelkora_private lib/zelkora-desk)

install(TARGETS zelkora-desk RUNTIME DESTINATION ${zelkora_private} COMPONENT system)
install(TARGETS zelkora-cli RUNTIME DESTINATION bin COMPONENT system)
install(FILES ${PROJECT_SOURCE_DIR}/src/zelkora/logging.ini DESTINATION ${zelkora_private}/zelkora
        COMPONENT system)
install(FILES ${PROJECT_SOURCE_DIR}/src/resources/ui/main_window.ui
        DESTINATION ${zelkora_private}/zelkora/resources/ui COMPONENT system)
# Relative, so it holds under any prefix and inside the package's staging folder.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/system)
file(CREATE_LINK ../${zelkora_private}/zelkora-desk ${CMAKE_BINARY_DIR}/system/zelkora-desk SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/system/zelkora-desk DESTINATION bin COMPONENT system)

# The desktop entry starts the program by name, from the PATH.
set(ZELKORA_EXEC zelkora-desk)
set(ZELKORA_TRY_EXEC zelkora-desk)
configure_file(${PROJECT_SOURCE_DIR}/packaging/linux/desktop-entry.in
               ${CMAKE_BINARY_DIR}/system/${ZELKORA_APP_ID}.desktop @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/system/${ZELKORA_APP_ID}.desktop DESTINATION share/applications
        COMPONENT system)
install(DIRECTORY ${zelkora_hicolor} DESTINATION share/icons COMPONENT system)
install(FILES ${zelkora_xdg_data}/metainfo/${ZELKORA_APP_ID}.metainfo.xml DESTINATION share/metainfo
        COMPONENT system)

install(DIRECTORY ${zelkora_man}/man1 ${zelkora_man}/ja DESTINATION share/man COMPONENT system)
install(FILES ${zelkora_man}/completions/zelkora-cli DESTINATION share/bash-completion/completions
        COMPONENT system)
