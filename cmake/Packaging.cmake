# Installation and packages: a Debian package on Linux, a ZIP archive on Windows.
include(GNUInstallDirs)

if(NOT WIN32)
  # The Qt program installs itself (ui/qt); the console program, the menu entry and the icons
  # are installed here.
  if(TARGET pradex-cli)
    install(TARGETS pradex-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  install(FILES ${PRADEX_MAN_PAGES_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PRADEX_DEB_DOCS} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pradex)
  # The menu entry starts the Qt program, so it comes with the builds that make that program.
  if(PRADEX_BUILD_QT)
    install(FILES ${PRADEX_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PRADEX_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(DIRECTORY ${PRADEX_ICON_THEME_DIR}/
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor
            FILES_MATCHING PATTERN "*.png" PATTERN "*.svg")
  endif()
endif()

set(CPACK_PACKAGE_NAME pradex)
set(CPACK_PACKAGE_VENDOR "The Pradex developers")
# Debian policy's form, "Name <address>"; the address is in a reserved domain that can never
# reach anyone by mistake.
set(CPACK_PACKAGE_CONTACT "The Pradex developers <pradex@pradex.invalid>")
set(CPACK_PACKAGE_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
set(CPACK_PACKAGE_VERSION_MINOR ${PROJECT_VERSION_MINOR})
set(CPACK_PACKAGE_VERSION_PATCH ${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_VERSION ${PRADEX_PRODUCT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Finds the web pages of GlowMark and BrimLine network printers")
# Lines of at most 80 characters, as Debian's package tools show them.
set(CPACK_PACKAGE_DESCRIPTION "Pradex looks through the printers of the CUPS server, keeps those of the\n\
GlowMark and BrimLine families, asks each device for its embedded web page and\n\
lists every device that answers. A click opens the device's page in the\n\
browser. pradex-cli does the same on the console.\n\
The interface is in Finnish unless another language is chosen with --language\n\
or PRADEX_LANGUAGE.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "Pradex-${CPACK_PACKAGE_VERSION}-win64")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Control files owned by root with the modes dpkg expects.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # The shared libraries the programs link (libcups, libcurl, Qt, the C++ runtime) become the
  # package's dependencies, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Device pages open through the desktop, or xdg-open where it finds no way.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
endif()

include(CPack)
