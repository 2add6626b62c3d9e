# The program's icon and its desktop files, made at build time from sources in the
# repository. Included from src/zelkora, the directory of the zelkora-desk target: a
# file made by a custom command can only feed targets of the directory that makes it.
#
# ${CMAKE_BINARY_DIR}/xdg-data/ is laid out like a user's $XDG_DATA_HOME, ready for
# scripts/install-user to copy:
#
#   applications/<id>.desktop                 Exec still a placeholder, filled in at install
#   icons/hicolor/<n>x<n>/apps/<id>.png       n = 16 ... 256
#   icons/hicolor/scalable/apps/<id>.svg
#   metainfo/<id>.metainfo.xml
#
# and ${CMAKE_BINARY_DIR}/icons/<id>.ico holds every size for Windows.

# The application id: names the desktop entry, the icons and the AppStream component,
# and is the Wayland app id of the window.
set(ZELKORA_APP_ID works.orvanel.ZelkoraDesk)
# The date of the release named by the project's version, for the AppStream data.
set(ZELKORA_RELEASE_DATE 2026-12-07)

find_program(ZELKORA_RSVG_CONVERT rsvg-convert REQUIRED)  # Debian: librsvg2-bin
find_program(ZELKORA_ICOTOOL icotool REQUIRED)            # Debian: icoutils

set(zelkora_icon_svg ${PROJECT_SOURCE_DIR}/src/resources/icons/zelkora-desk.svg)
set(zelkora_xdg_data ${CMAKE_BINARY_DIR}/xdg-data)
set(zelkora_hicolor ${zelkora_xdg_data}/icons/hicolor)

set(zelkora_icon_pngs "")
foreach(size IN ITEMS 16 24 32 48 64 128 256)
    set(dir ${zelkora_hicolor}/${size}x${size}/apps)
    set(png ${dir}/${ZELKORA_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${ZELKORA_RSVG_CONVERT} --width ${size} --height ${size} --format png
                --output ${png} ${zelkora_icon_svg}
        DEPENDS ${zelkora_icon_svg}
        COMMENT "Rendering the ${size} px icon"
        VERBATIM)
    set_source_files_properties(${png} PROPERTIES QT_RESOURCE_ALIAS ${size}.png)
    list(APPEND zelkora_icon_pngs ${png})
endforeach()

# Windows shows the small sizes from bitmaps; the largest goes in as PNG, as Windows
# has read it since Vista, at a tenth of the bitmap's size.
set(zelkora_icon_ico ${CMAKE_BINARY_DIR}/icons/${ZELKORA_APP_ID}.ico)
set(zelkora_ico_bitmaps ${zelkora_icon_pngs})
list(POP_BACK zelkora_ico_bitmaps zelkora_ico_largest)
add_custom_command(OUTPUT ${zelkora_icon_ico}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons
    COMMAND ${ZELKORA_ICOTOOL} --create --output=${zelkora_icon_ico}
            ${zelkora_ico_bitmaps} --raw=${zelkora_ico_largest}
    DEPENDS ${zelkora_icon_pngs}
    COMMENT "Packing the icon sizes into ${ZELKORA_APP_ID}.ico"
    VERBATIM)

# The window shows the icon from a resource compiled into the executable, so it never
# depends on files beside it; zelkora::run_application adds every size under :/icons/window.
# Format 1: later formats stamp every file with its modification time, which for icons
# rendered at build time is the time of the build, and the executable would differ
# from one build to the next.
qt_add_resources(zelkora-desk zelkora_icons PREFIX /icons/window FILES ${zelkora_icon_pngs}
                 OPTIONS --format-version 1)
target_compile_definitions(zelkora_window PRIVATE ZELKORA_APP_ID="${ZELKORA_APP_ID}")
# Made on every platform: the Windows installer needs it too.
target_sources(zelkora-desk PRIVATE ${zelkora_icon_ico})

if(WIN32)
    # Explorer, the taskbar and shortcuts take the icon from the executable itself.
    enable_language(RC)
    set(zelkora_rc ${CMAKE_BINARY_DIR}/icons/zelkora-desk.rc)
    set(zelkora_manifest ${CMAKE_BINARY_DIR}/icons/zelkora-desk.manifest)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/zelkora-desk.manifest ${zelkora_manifest} @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/zelkora-desk.rc.in ${zelkora_rc} @ONLY)
    set_source_files_properties(${zelkora_rc} PROPERTIES OBJECT_DEPENDS "${zelkora_icon_ico};${zelkora_manifest}")
    target_sources(zelkora-desk PRIVATE ${zelkora_rc})
endif()

configure_file(${zelkora_icon_svg} ${zelkora_hicolor}/scalable/apps/${ZELKORA_APP_ID}.svg COPYONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/linux/metainfo.xml.in
    ${zelkora_xdg_data}/metainfo/${ZELKORA_APP_ID}.metainfo.xml @ONLY)
# The command line is known only once the user's install folder is: scripts/install-user
# puts it in place of these markers.
set(ZELKORA_EXEC "@ZELKORA_EXEC@")
set(ZELKORA_TRY_EXEC "@ZELKORA_TRY_EXEC@")
configure_file(${PROJECT_SOURCE_DIR}/packaging/linux/desktop-entry.in
    ${zelkora_xdg_data}/applications/${ZELKORA_APP_ID}.desktop @ONLY)
