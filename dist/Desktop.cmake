# The desktop program's share of the install and of the packages. Read at the end of the
# top-level directory (see CMakeLists.txt beside this file), and only when the desktop
# program's target exists: a headless build installs none of it.
if(NOT TARGET vorn-image-manager)
    return()
endif()

set(distDir "${CMAKE_CURRENT_LIST_DIR}")
set(VORN_APP_ID "org.vorn.ImageManager")

install(TARGETS vorn-image-manager RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT vorn-image-manager)
install(FILES "${distDir}/desktop/${VORN_APP_ID}.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications" COMPONENT vorn-image-manager)
install(FILES "${distDir}/desktop/${VORN_APP_ID}.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps"
        COMPONENT vorn-image-manager)
# The release entry names this version, dated by the commit it is built from.
vorn_commit_date(VORN_RELEASE_DATE %as "%Y-%m-%d")
configure_file("${distDir}/desktop/${VORN_APP_ID}.metainfo.xml.in"
               "${PROJECT_BINARY_DIR}/dist/${VORN_APP_ID}.metainfo.xml" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/dist/${VORN_APP_ID}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" COMPONENT vorn-image-manager)
vorn_install_docs(vorn-image-manager)

# The man page is written by help2man from the program's own --help and --version, run
# without a display. Without help2man the build still works; the packages are made by
# scripts/package, which installs it.
find_program(VORN_HELP2MAN help2man)
if(VORN_HELP2MAN)
    set(page "${PROJECT_BINARY_DIR}/dist/vorn-image-manager.1")
    # The page's date is the commit's, not the build's.
    vorn_commit_date(epoch %ct "%s")
    add_custom_command(OUTPUT "${page}"
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen SOURCE_DATE_EPOCH=${epoch}
                "${VORN_HELP2MAN}" --no-info --section=1
                "--name=manage and share a library of Apple II disk images"
                "--output=${page}" "$<TARGET_FILE:vorn-image-manager>"
        DEPENDS vorn-image-manager VERBATIM)
    vorn_install_man("${page}" vorn-image-manager)
else()
    message(STATUS "help2man not found: the vorn-image-manager man page is not built")
endif()
