# Installation and packages.
#
# Windows: quorvel.exe and quorvel.txt side by side in the installation's
# root folder; the user drops scan.exe beside them. Linux: bin/quorvel with
# bin/quorvel.txt and the console helper bin/quorvel-console beside it (the program looks for the readme and for
# scan.exe in its own folder), a desktop entry, the icon in the hicolor theme
# and the licence under share/doc/quorvel.
#
# Components: "program" (everything here) and "bridge" (the optional ClamAV
# bridge, installed as scan.exe beside the program by its own rule). The
# packages hold both: a ZIP per Windows architecture, a DEB for Linux.

if(WIN32)
  set(QUORVEL_INSTALL_PROGRAM_DIR .)
else()
  include(GNUInstallDirs)
  set(QUORVEL_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_BINDIR})
endif()

install(TARGETS quorvel RUNTIME DESTINATION ${QUORVEL_INSTALL_PROGRAM_DIR} COMPONENT program)
install(FILES ${QUORVEL_README} DESTINATION ${QUORVEL_INSTALL_PROGRAM_DIR}
        COMPONENT program)

if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/res/quorvel.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT program)
  foreach(size IN ITEMS 16 24 32 48 256)
    install(FILES ${PROJECT_SOURCE_DIR}/res/icon/quorvel-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
            RENAME quorvel.png COMPONENT program)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/res/icon/quorvel.svg
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps COMPONENT program)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorvel
          RENAME copyright COMPONENT program)
endif()

# Packages -------------------------------------------------------------------

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "Quorvel 的作者们")
set(CPACK_PACKAGE_CONTACT "Quorvel 的作者们 <noreply@invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "window in front of a command-line virus scanner")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel is a small dialog window that builds the command line of the\n\
command-line virus scanner scan.exe from the chosen target, scan options,\n\
actions and report settings, starts the scanner and shows its outcome.\n\
The scanner is not part of this package; it lies beside the program.\n\
All texts of the program are in simplified Chinese.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_COMPONENTS_ALL program bridge)
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # quorvel-<version>-windows-x86_64.zip, quorvel-<version>-windows-i686.zip
  set(CPACK_PACKAGE_FILE_NAME
      "quorvel-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR}")
  # One folder in the archive, holding the program and its readme.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # quorvel_<version>_amd64.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The Qt libraries come from dpkg-shlibdeps; the dialogs need a CJK font
  # and Qt's Chinese texts for its own buttons, opening the report xdg-open,
  # and the scanner's console window a terminal.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n, xdg-utils, x-terminal-emulator | xterm")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS clamav)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()

include(CPack)
