# Installation and packages: a Debian package on Linux, a ZIP archive on Windows.
include(GNUInstallDirs)

if(NOT WIN32)
  # The Qt program installs itself (ui/qt); the console program, the menu entry and the icons
  # are installed here.
  if(TARGET pradex-cli)
    install(TARGETS pradex-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  # The menu entry starts the Qt program, so it comes with the builds that make that program.
  if(PRADEX_BUILD_QT)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/pradex.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(DIRECTORY ${PRADEX_ICON_THEME_DIR}/
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor
            FILES_MATCHING PATTERN "*.png")
  endif()
endif()

set(CPACK_PACKAGE_NAME pradex)
set(CPACK_PACKAGE_VENDOR "The Pradex developers")
set(CPACK_PACKAGE_CONTACT "The Pradex developers")
# The product version; the fourth part of the project version is the build number.
set(CPACK_PACKAGE_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
set(CPACK_PACKAGE_VERSION_MINOR ${PROJECT_VERSION_MINOR})
set(CPACK_PACKAGE_VERSION_PATCH ${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_VERSION
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Finds the web pages of GlowMark and BrimLine network printers")
set(CPACK_PACKAGE_DESCRIPTION "Pradex looks through the printers of the CUPS server, keeps \
those of the GlowMark and BrimLine families, asks each device for its embedded web page and \
lists every device that answers. A click opens the device's page in the browser. pradex-cli \
does the same on the console.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "Pradex-${CPACK_PACKAGE_VERSION}-win64")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Pradex developers")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # The shared libraries the programs link (libcups, libcurl, Qt, the C++ runtime) become the
  # package's dependencies, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Device pages open through xdg-open.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
endif()

include(CPack)
