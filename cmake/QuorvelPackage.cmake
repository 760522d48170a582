# Packages, made by scripts/package.sh from a build:
#   Linux: build/<preset>/packages/quorvel_<version>_<arch>.deb (CPack);
#   Windows: build/<preset>/packages/quorvel-<version>-windows-<arch>.zip
#     (CPack, portable) and .msi (target "msi", Debian's wixl).
# The sources of the Debian documents, the metainfo and the installer are in
# pkg/; the readme, the licence and the icon are the program's own.

set(QUORVEL_VENDOR "Quorvel 的作者们")
set(default_maintainer "Quorvel 的作者们 <noreply@invalid>")
set(QUORVEL_PACKAGE_MAINTAINER "${default_maintainer}"
    CACHE STRING "Name and mail address of whoever builds the packages: the DEB's \
maintainer and the signer of its changelog entry. The default is a placeholder that \
reaches nobody; a packager sets their own.")
set(QUORVEL_PROJECT_URL "https://quorvel.invalid"
    CACHE STRING "The project's web address (no trailing slash): homepage and \
screenshot in the AppStream metainfo. The default is a placeholder.")
# The AppStream component id: reverse domain of the placeholder address above.
set(QUORVEL_APPSTREAM_ID invalid.quorvel.quorvel)

# --- The release: the latest changelog entry --------------------------------
# It names this version and gives the release date (YYYY-MM-DD) of the manual
# page and the metainfo.
set(changelog_source ${PROJECT_SOURCE_DIR}/pkg/debian/changelog.in)
file(STRINGS ${changelog_source} changelog_head LIMIT_COUNT 1)
file(STRINGS ${changelog_source} changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^quorvel \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "pkg/debian/changelog.in: the latest entry is '${changelog_head}', "
                      "not version ${PROJECT_VERSION}")
endif()
if(NOT changelog_trailer MATCHES "  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9]+) ")
  message(FATAL_ERROR "pkg/debian/changelog.in: no date in '${changelog_trailer}'")
endif()
set(release_day ${CMAKE_MATCH_1})
set(release_year ${CMAKE_MATCH_3})
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} release_month)
math(EXPR release_month "${release_month} + 1")
if(release_month LESS 10)
  set(release_month 0${release_month})
endif()
set(QUORVEL_RELEASE_DATE ${release_year}-${release_month}-${release_day})

# --- CPack: common -----------------------------------------------------------
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "${QUORVEL_VENDOR}")
set(CPACK_PACKAGE_CONTACT "${QUORVEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_COMPONENTS_ALL program bridge)
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  # --- Windows: ZIP (portable) ----------------------------------------------
  set(CPACK_GENERATOR ZIP)
  # quorvel-<version>-windows-x86_64.zip, quorvel-<version>-windows-i686.zip
  set(CPACK_PACKAGE_FILE_NAME "quorvel-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR}")
  # One folder in the archive, holding the program and its readme.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)

  # --- Windows: MSI ---------------------------------------------------------
  # Each architecture is a product of its own with a fixed upgrade code, so a
  # newer installer of the same architecture replaces an older one.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QUORVEL_MSI_PLATFORM x64)
    set(QUORVEL_MSI_WIN64 yes)
    set(QUORVEL_MSI_PROGRAM_FILES ProgramFiles64Folder)
    set(QUORVEL_MSI_UPGRADE_CODE 3B07CA36-1FA7-4FC0-9398-FCF43BA399ED)
  else()
    set(QUORVEL_MSI_PLATFORM x86)
    set(QUORVEL_MSI_WIN64 no)
    set(QUORVEL_MSI_PROGRAM_FILES ProgramFilesFolder)
    set(QUORVEL_MSI_UPGRADE_CODE ECA60428-B62E-4C8E-8500-57D6BFB1AB91)
  endif()
  # wixl takes the files by names relative to the build folder.
  file(RELATIVE_PATH QUORVEL_MSI_ICON ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR}/res/quorvel.ico)
  file(RELATIVE_PATH QUORVEL_MSI_README ${CMAKE_BINARY_DIR} ${QUORVEL_README})
  set(QUORVEL_MSI_PROGRAM $<PATH:RELATIVE_PATH,$<TARGET_FILE:quorvel>,${CMAKE_BINARY_DIR}>)
  set(QUORVEL_MSI_BRIDGE $<PATH:RELATIVE_PATH,$<TARGET_FILE:clamav_bridge>,${CMAKE_BINARY_DIR}>)
  configure_file(${PROJECT_SOURCE_DIR}/pkg/windows/quorvel.wxs.in
                 ${CMAKE_BINARY_DIR}/pkg/quorvel.wxs.genex @ONLY)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/pkg/quorvel.wxs
       INPUT ${CMAKE_BINARY_DIR}/pkg/quorvel.wxs.genex)
  find_program(QUORVEL_WIXL wixl)
  set(msi ${CMAKE_BINARY_DIR}/packages/${CPACK_PACKAGE_FILE_NAME}.msi)
  add_custom_target(msi
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packages
    COMMAND $<IF:$<BOOL:${QUORVEL_WIXL}>,${QUORVEL_WIXL},wixl> -a ${QUORVEL_MSI_PLATFORM}
            -I ${CMAKE_BINARY_DIR} -o ${msi} ${CMAKE_BINARY_DIR}/pkg/quorvel.wxs
    DEPENDS quorvel clamav_bridge ${CMAKE_BINARY_DIR}/pkg/quorvel.wxs
    COMMENT "Installer ${msi}" VERBATIM)
else()
  # --- Linux: DEB -------------------------------------------------------------
  find_program(QUORVEL_GZIP gzip REQUIRED)
  set(pkg_dir ${CMAKE_BINARY_DIR}/pkg)
  # Debian wants its documents compressed to the maximum and without the time
  # stamp in the header.
  function(quorvel_gzip file)
    execute_process(COMMAND ${QUORVEL_GZIP} -9n -c ${file} OUTPUT_FILE ${file}.gz
                    COMMAND_ERROR_IS_FATAL ANY)
  endfunction()

  # copyright: machine-readable, with the licence text of LICENSE.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  if(NOT licence MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(.*[^\n])\n*$")
    message(FATAL_ERROR "LICENSE: no copyright line followed by the licence text")
  endif()
  set(QUORVEL_COPYRIGHT "${CMAKE_MATCH_1}")
  string(REPLACE "\n\n" "\n.\n" QUORVEL_LICENSE_TEXT "${CMAKE_MATCH_2}")
  string(REPLACE "\n" "\n " QUORVEL_LICENSE_TEXT " ${QUORVEL_LICENSE_TEXT}")
  configure_file(${PROJECT_SOURCE_DIR}/pkg/debian/copyright.in ${pkg_dir}/copyright @ONLY)

  configure_file(${changelog_source} ${pkg_dir}/changelog @ONLY)
  quorvel_gzip(${pkg_dir}/changelog)
  set(QUORVEL_PRIVATE_DIR /usr/${QUORVEL_INSTALL_PROGRAM_DIR})
  set(QUORVEL_BIN_LINK /usr/${CMAKE_INSTALL_BINDIR}/quorvel)
  configure_file(${PROJECT_SOURCE_DIR}/pkg/quorvel.1.in ${pkg_dir}/quorvel.1 @ONLY)
  quorvel_gzip(${pkg_dir}/quorvel.1)
  configure_file(${PROJECT_SOURCE_DIR}/pkg/quorvel.metainfo.xml.in
                 ${pkg_dir}/${QUORVEL_APPSTREAM_ID}.metainfo.xml @ONLY)

  # The user's part of the README: installing, signatures, the daemon.
  configure_file(${PROJECT_SOURCE_DIR}/pkg/debian/README.Debian ${pkg_dir}/README.Debian COPYONLY)
  quorvel_gzip(${pkg_dir}/README.Debian)

  set(doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorvel)
  install(FILES ${pkg_dir}/copyright ${pkg_dir}/changelog.gz ${pkg_dir}/README.Debian.gz
          DESTINATION ${doc} COMPONENT program)
  install(FILES ${pkg_dir}/quorvel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT program)
  install(FILES ${pkg_dir}/${QUORVEL_APPSTREAM_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo COMPONENT program)
  install(FILES ${PROJECT_SOURCE_DIR}/pkg/debian/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME quorvel
          COMPONENT program)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # quorvel_<version>_amd64.deb
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORVEL_PACKAGE_MAINTAINER}")
  # For scripts/package.sh: lintian's complaint about the placeholder address
  # is expected only while the placeholder is in use.
  if(QUORVEL_PACKAGE_MAINTAINER STREQUAL default_maintainer)
    set(CPACK_QUORVEL_DEFAULT_MAINTAINER ON)
  else()
    set(CPACK_QUORVEL_DEFAULT_MAINTAINER OFF)
  endif()
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The Qt libraries and ClamAV's library (the bridge's engine) come from
  # dpkg-shlibdeps. Beside them: a CJK font for the captions, Qt's Chinese
  # button texts, a terminal for the scanner's console, xdg-open for the report.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n, \
xterm | x-terminal-emulator, xdg-utils")
  # Without freshclam the signature databases must come some other way.
  # The report opens with the desktop's program for text; without a graphical
  # editor that is a terminal editor in a terminal whose font may have no
  # Chinese.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
      "clamav-freshclam, mousepad | gedit | gnome-text-editor | kate | kwrite | pluma \
| featherpad | l3afpad")
  # With ClamAV's daemon running, a scan starts at once: its signatures are
  # loaded already.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS clamav-daemon)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dialog window for a command-line virus scanner, with ClamAV")
  set(CPACK_PACKAGE_DESCRIPTION
      "Quorvel is a small dialog window that builds the command line of the
virus scanner scan.exe from the chosen target, scan options, actions and
report settings, starts the scanner in a terminal window and shows its
outcome. All texts of the window are in simplified Chinese.

The scanner in this package is a bridge to ClamAV: it walks the chosen
targets itself and scans every file with ClamAV's own library (or through
the running ClamAV daemon), with the options that match the window's
settings. ClamAV's signature databases are fetched by freshclam.")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()

include(CPack)
