# Install rules and the Debian package of the Linux program. The program lives in its own
# folder with its optional data files beside it (start-up looks for HAND-M.CUR there); bin/
# holds a link to it.
include(GNUInstallDirs)

set(PEL_PROGRAM_DIR ${CMAKE_INSTALL_LIBDIR}/pelmira)
install(TARGETS pelmira RUNTIME DESTINATION ${PEL_PROGRAM_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/assets/HAND-M.CUR DESTINATION ${PEL_PROGRAM_DIR})
install(CODE "
  set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${bin}\")
  file(RELATIVE_PATH target \"\${bin}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${PEL_PROGRAM_DIR}/pelmira\")
  file(CREATE_LINK \"\${target}\" \"\${bin}/pelmira\" SYMBOLIC)
  message(STATUS \"Installing: \${bin}/pelmira -> \${target}\")
")
install(FILES ${PROJECT_SOURCE_DIR}/programs/linux/pelmira.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Files of the .mmf type open in pelmira: the type (by name and by the file header) and the
# desktop entry's MimeType; Debian's triggers rebuild both caches after installing.
install(FILES ${PROJECT_SOURCE_DIR}/programs/linux/pelmira-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME pelmira.xml)
# The manual page and the changelog go in gzipped, without a time stamp (the package is the same
# whenever it is built).
set(PEL_DOC_SOURCE ${PROJECT_SOURCE_DIR}/programs/linux)
set(PEL_DOC_BUILD ${CMAKE_BINARY_DIR}/doc)
add_custom_command(
  OUTPUT ${PEL_DOC_BUILD}/pelmira.1.gz ${PEL_DOC_BUILD}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PEL_DOC_BUILD}
  COMMAND gzip -9nc ${PEL_DOC_SOURCE}/pelmira.1 > ${PEL_DOC_BUILD}/pelmira.1.gz
  COMMAND gzip -9nc ${PEL_DOC_SOURCE}/debian/changelog > ${PEL_DOC_BUILD}/changelog.gz
  DEPENDS ${PEL_DOC_SOURCE}/pelmira.1 ${PEL_DOC_SOURCE}/debian/changelog
  VERBATIM)
add_custom_target(pelmira_docs ALL DEPENDS ${PEL_DOC_BUILD}/pelmira.1.gz ${PEL_DOC_BUILD}/changelog.gz)
install(FILES ${PEL_DOC_BUILD}/pelmira.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PEL_DOC_BUILD}/changelog.gz ${PEL_DOC_SOURCE}/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pelmira)
foreach(size 32 48 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/pelmira-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME pelmira.png)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmira)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Pelmira")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Records mouse motion and clicks and plays them back")
# Lines of the long description stay within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Pelmira records what you do with the mouse (movement and left, middle and\nright clicks) and plays it back, repeating until stopped, or from a script\nwith a repeat count and a speed. Global keys: F10 record, F9 play, Pause\nstop, F12 show or hide the window. Needs an X11 session or XWayland; on\nwlroots Wayland compositors (sway, Hyprland) it plays without them.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pelmira maintainers <maintainers@pelmira.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://pelmira.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The layout's Arial is drawn with its metric twin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
# The window in a Wayland session without XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_STRIP_FILES ON)
include(CPack)
