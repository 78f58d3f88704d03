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
install(FILES ${PROJECT_SOURCE_DIR}/platform/qt/pelmira.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
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
set(CPACK_PACKAGE_DESCRIPTION
    "Pelmira records what you do with the mouse (movement and left, middle and right clicks)\nand plays it back, repeating until stopped. Global keys: F10 record, F9 play,\nPause stop, F12 show or hide the window. Needs an X11 session or XWayland.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pelmira maintainers <maintainers@pelmira.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://pelmira.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The layout's Arial is drawn with its metric twin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_STRIP_FILES ON)
include(CPack)
