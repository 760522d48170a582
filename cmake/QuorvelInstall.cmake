# Installation layout. The packages (cmake/QuorvelPackage.cmake) are made
# from it.
#
# The program looks for the readme quorvel.txt and for the scanner scan.exe in
# the folder of its own executable, so the three always lie side by side:
#
# Windows: quorvel.exe, quorvel.txt (and scan.exe) in the installation's root
#   folder.
# Linux: a private folder lib/quorvel holding quorvel, quorvel.txt, scan.exe
#   and quorvel-console; bin/ holds only a relative symbolic link to the
#   program. The program resolves its own executable through /proc/self/exe,
#   which follows that link, so "beside the executable" stays the private
#   folder. Besides: the desktop entry, the AppStream metainfo, the icon in the
#   hicolor theme, the manual page, the copyright file and the changelog.
#
# Components: "program" (everything but the bridge) and "bridge" (the optional
# ClamAV bridge as scan.exe, option QUORVEL_INSTALL_BRIDGE).

# Folders the installation makes are open to everyone to read, whatever the
# packager's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  set(QUORVEL_INSTALL_PROGRAM_DIR .)
  set(bridge_install_default OFF)
else()
  include(GNUInstallDirs)
  # Not CMAKE_INSTALL_LIBDIR: that is the multiarch folder of shared
  # libraries; a program's private files go to lib/<program>.
  set(QUORVEL_INSTALL_PROGRAM_DIR lib/quorvel)
  # On Linux ClamAV is the scanner at hand.
  set(bridge_install_default ON)
endif()
option(QUORVEL_INSTALL_BRIDGE "Install the ClamAV bridge as scan.exe beside the program"
       ${bridge_install_default})

install(TARGETS quorvel RUNTIME DESTINATION ${QUORVEL_INSTALL_PROGRAM_DIR} COMPONENT program)
install(FILES ${QUORVEL_README} DESTINATION ${QUORVEL_INSTALL_PROGRAM_DIR}
        COMPONENT program)
if(QUORVEL_INSTALL_BRIDGE)
  install(TARGETS clamav_bridge RUNTIME DESTINATION ${QUORVEL_INSTALL_PROGRAM_DIR}
          COMPONENT bridge)
endif()
# The console helper that holds the scanner's terminal (Linux).
if(TARGET quorvel_console)
  install(TARGETS quorvel_console RUNTIME DESTINATION ${QUORVEL_INSTALL_PROGRAM_DIR}
          COMPONENT program)
endif()

if(NOT WIN32)
  # bin/quorvel -> ../lib/quorvel/quorvel, made in the staging folder of a
  # package as well (DESTDIR).
  install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(CREATE_LINK ../${QUORVEL_INSTALL_PROGRAM_DIR}/quorvel \"\${bin}/quorvel\" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${bin}/quorvel\")"
          COMPONENT program)

  # A stripped installation (cmake --install --strip, and the DEB) also loses
  # the compilers' version notes, which only take room.
  set(stripped_programs quorvel)
  foreach(target clamav_bridge quorvel_console)
    if(TARGET ${target})
      list(APPEND stripped_programs $<TARGET_FILE_NAME:${target}>)
    endif()
  endforeach()
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(name IN ITEMS ${stripped_programs})
        set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${QUORVEL_INSTALL_PROGRAM_DIR}/\${name}\")
        if(EXISTS \"\${file}\")
          execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                                  --remove-section=.note \"\${file}\" COMMAND_ERROR_IS_FATAL ANY)
        endif()
      endforeach()
    endif()"
          COMPONENT program)

  install(FILES ${PROJECT_SOURCE_DIR}/res/quorvel.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT program)
  foreach(size IN ITEMS 16 24 32 48 256)
    install(FILES ${PROJECT_SOURCE_DIR}/res/icon/quorvel-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
            RENAME quorvel.png COMPONENT program)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/res/icon/quorvel.svg
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps COMPONENT program)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/QuorvelPackage.cmake)
