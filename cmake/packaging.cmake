# Install layout and the portable archive.
#
# The archive unpacks to one folder that can live anywhere:
#
#   zelkora-desk/app/zelkora-desk                         the executable
#   zelkora-desk/app/zelkora-cli                          the console program
#   zelkora-desk/app/zelkora/logging.ini
#   zelkora-desk/app/zelkora/resources/ui/main_window.ui
#   zelkora-desk/README.txt
#   zelkora-desk/log/                                     made by the program at its first start
#
# An executable outside the build tree runs in packaged mode: it reads logging.ini and the
# form from the zelkora/ folder beside it, and because its folder is named "app" its log
# goes to log/ beside that folder. Installed by hand the same holds:
#   cmake --install build --prefix ~/zelkora-desk

# A windowed program on Windows: no console opens beside the window. Qt's entry-point
# library supplies WinMain there, so main() stays the entry. Elsewhere it has no effect.
set_target_properties(zelkora-desk PROPERTIES WIN32_EXECUTABLE ON)

# Folders are created with these modes whatever the packager's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS zelkora-desk zelkora-cli RUNTIME DESTINATION app)
install(FILES ${PROJECT_SOURCE_DIR}/src/zelkora/logging.ini DESTINATION app/zelkora)
install(FILES ${PROJECT_SOURCE_DIR}/src/resources/ui/main_window.ui DESTINATION app/zelkora/resources/ui)
if(WIN32)
    # It begins with a UTF-8 byte-order mark, without which Notepad on older Windows
    # reads the Japanese in the ANSI code page.
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt DESTINATION . RENAME README.txt)
    # Notepad opens a .txt with a double click; a bare LICENSE asks which program to use.
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
else()
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/README.txt DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
endif()

# The archive's platform tag, as people name it: linux-x86_64, windows-AMD64, ...
string(TOLOWER "${CMAKE_SYSTEM_NAME}" zelkora_system)
set(zelkora_package_tag "${zelkora_system}-${CMAKE_SYSTEM_PROCESSOR}")

set(CPACK_PACKAGE_NAME zelkora-desk)
set(CPACK_PACKAGE_VENDOR orvanel-works)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop password generator")
set(CPACK_PACKAGE_FILE_NAME "zelkora-desk-${PROJECT_VERSION}-${zelkora_package_tag}")
if(WIN32)
    set(CPACK_GENERATOR ZIP)
else()
    set(CPACK_GENERATOR TGZ)
endif()
# One folder named zelkora-desk at the top, whatever the archive itself is called.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGING_INSTALL_PREFIX /zelkora-desk)
# Debug information stays in the build tree; the archive gets a stripped executable.
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

include(CPack)
