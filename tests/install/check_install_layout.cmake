# Installs a build into a fresh folder and checks what lands where.
#   cmake -D BUILD_DIR=... -D INSTALL_DIR=... -D SOURCE_DIR=... -D LAYOUT=windows|linux
#         -D ARCHITECTURE=x86_64|i686|... -D PROBE=<readme_path_probe> [-D EMULATOR=...]
#         -P check_install_layout.cmake
# Every failed check is reported; the script fails at the end if any did.
cmake_minimum_required(VERSION 3.25)

foreach(required BUILD_DIR INSTALL_DIR SOURCE_DIR LAYOUT PROBE)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "${required} is not set")
  endif()
endforeach()

set(failed FALSE)
macro(fail text)
  message(SEND_ERROR "${text}")
  set(failed TRUE)
endmacro()

# Reads count bytes at offset as one unsigned number; little_endian or big_endian.
function(read_number file offset count order out)
  file(READ "${file}" hex OFFSET ${offset} LIMIT ${count} HEX)
  set(digits "")
  string(LENGTH "${hex}" length)
  math(EXPR wanted "${count} * 2")
  if(NOT length EQUAL wanted)
    set(${out} -1 PARENT_SCOPE)
    return()
  endif()
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last})
    math(EXPR at "2 * ${i}")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    if(order STREQUAL "little_endian")
      string(PREPEND digits "${byte}")
    else()
      string(APPEND digits "${byte}")
    endif()
  endforeach()
  math(EXPR value "0x${digits}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

function(expect_same_file installed source)
  if(NOT EXISTS "${installed}")
    return()  # reported by the layout check
  endif()
  file(SHA256 "${installed}" installed_hash)
  file(SHA256 "${source}" source_hash)
  if(NOT installed_hash STREQUAL source_hash)
    message(SEND_ERROR "${installed} differs from ${source}")
    set(failed TRUE PARENT_SCOPE)
  endif()
endfunction()

# --- Install -----------------------------------------------------------------
file(REMOVE_RECURSE "${INSTALL_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${INSTALL_DIR}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

# --- Expected files ----------------------------------------------------------
set(icon_sizes 16 24 32 48 256)
if(LAYOUT STREQUAL "windows")
  set(program_dir "")
  set(program quorvel.exe)
  set(expected quorvel.exe quorvel.txt)
elseif(LAYOUT STREQUAL "linux")
  # A private folder for the program; bin/ holds only the link to it.
  set(program_dir "lib/quorvel/")
  set(program quorvel)
  set(expected bin/quorvel lib/quorvel/quorvel lib/quorvel/quorvel.txt lib/quorvel/quorvel-console
               share/applications/quorvel.desktop share/icons/hicolor/scalable/apps/quorvel.svg
               share/doc/quorvel/copyright share/doc/quorvel/changelog.gz
               share/doc/quorvel/README.Debian.gz
               share/man/man1/quorvel.1.gz share/metainfo/invalid.quorvel.quorvel.metainfo.xml
               share/lintian/overrides/quorvel)
  foreach(size IN LISTS icon_sizes)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/quorvel.png)
  endforeach()
else()
  message(FATAL_ERROR "unknown LAYOUT ${LAYOUT}")
endif()
# The optional ClamAV bridge is installed as the scanner beside the program,
# and on Linux the console helper, when it is built.
set(allowed_extra ${program_dir}scan.exe ${program_dir}quorvel-console)

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${INSTALL_DIR}" "${INSTALL_DIR}/*")
foreach(file IN LISTS expected)
  if(NOT file IN_LIST installed)
    fail("not installed: ${file}")
  endif()
endforeach()
foreach(file IN LISTS installed)
  if(NOT file IN_LIST expected AND NOT file IN_LIST allowed_extra)
    fail("installed but not expected: ${file}")
  endif()
endforeach()

# --- Contents ----------------------------------------------------------------
expect_same_file("${INSTALL_DIR}/${program_dir}quorvel.txt" "${BUILD_DIR}/bin/quorvel.txt")
set(program_path "${INSTALL_DIR}/${program_dir}${program}")

if(LAYOUT STREQUAL "windows" AND EXISTS "${program_path}")
  # A PE image of the build's architecture: "PE\0\0" at e_lfanew, then the
  # machine type.
  set(machines_x86_64 34404)  # 0x8664
  set(machines_AMD64 34404)
  set(machines_i686 332)  # 0x14c
  set(machines_i386 332)
  read_number("${program_path}" 60 4 little_endian pe_offset)
  read_number("${program_path}" ${pe_offset} 4 big_endian signature)
  math(EXPR machine_offset "${pe_offset} + 4")
  read_number("${program_path}" ${machine_offset} 2 little_endian machine)
  if(NOT signature EQUAL 1346699264)  # "PE\0\0"
    fail("${program} is not a Windows program")
  elseif(DEFINED machines_${ARCHITECTURE} AND NOT machine EQUAL machines_${ARCHITECTURE})
    fail("${program} has machine type ${machine}, not that of ${ARCHITECTURE}")
  endif()
endif()

if(LAYOUT STREQUAL "linux")
  if(EXISTS "${program_path}")
    execute_process(COMMAND test -x "${program_path}" RESULT_VARIABLE not_executable)
    if(not_executable)
      fail("${program_path} is not executable")
    endif()
  endif()

  # Without a display, or with one that does not answer (no server on :7919),
  # the installed program ends with 1 and says how to run it, by its own path.
  if(EXISTS "${program_path}")
    foreach(display IN ITEMS "-u;DISPLAY" "DISPLAY=:7919")
      execute_process(COMMAND env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ${display}
                              "${program_path}"
                      RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE message TIMEOUT 60)
      string(FIND "${message}" "xvfb-run -a ${program_path}\n" at)
      if(NOT result EQUAL 1 OR at EQUAL -1)
        fail("with ${display} the program ended with ${result} and said:\n${message}")
      endif()
    endforeach()
  endif()
  set(link "${INSTALL_DIR}/bin/quorvel")
  if(IS_SYMLINK "${link}")
    file(READ_SYMLINK "${link}" target)
    if(NOT target STREQUAL "../lib/quorvel/quorvel")
      fail("bin/quorvel links to '${target}', not to ../lib/quorvel/quorvel")
    endif()
  elseif(EXISTS "${link}")
    fail("bin/quorvel is no symbolic link")
  endif()
  expect_same_file("${INSTALL_DIR}/share/icons/hicolor/scalable/apps/quorvel.svg"
                   "${SOURCE_DIR}/res/icon/quorvel.svg")
  # Each PNG in the folder of its size: the width and height in its header.
  foreach(size IN LISTS icon_sizes)
    set(png "${INSTALL_DIR}/share/icons/hicolor/${size}x${size}/apps/quorvel.png")
    if(EXISTS "${png}")
      read_number("${png}" 16 4 big_endian width)
      read_number("${png}" 20 4 big_endian height)
      if(NOT width EQUAL size OR NOT height EQUAL size)
        fail("${png} is ${width}x${height}")
      endif()
    endif()
  endforeach()

  # The desktop entry starts the installed program by name and shows the
  # installed icon.
  set(entry "${INSTALL_DIR}/share/applications/quorvel.desktop")
  if(EXISTS "${entry}")
    # Values hold ";" lists, which a CMake list would split: read the lines
    # with the semicolons stood in for, and put them back per value.
    file(READ "${entry}" content)
    string(REPLACE ";" "<semicolon>" content "${content}")
    string(REPLACE "\r" "" content "${content}")
    string(REGEX REPLACE "\n$" "" content "${content}")
    string(REPLACE "\n" ";" lines "${content}")
    list(GET lines 0 group)
    if(NOT group STREQUAL "[Desktop Entry]")
      fail("the desktop entry starts with '${group}'")
    endif()
    list(REMOVE_AT lines 0)
    set(keys "")
    foreach(line IN LISTS lines)
      if(line MATCHES "^#" OR line STREQUAL "")
        continue()
      endif()
      if(NOT line MATCHES "^([A-Za-z0-9-]+(\\[[A-Za-z_@]+\\])?)=(.*)$")
        fail("desktop entry line is no key=value: '${line}'")
        continue()
      endif()
      if(CMAKE_MATCH_1 IN_LIST keys)
        fail("desktop entry key ${CMAKE_MATCH_1} appears twice")
      endif()
      list(APPEND keys "${CMAKE_MATCH_1}")
      string(REPLACE "<semicolon>" ";" value "${CMAKE_MATCH_3}")
      set("entry_${CMAKE_MATCH_1}" "${value}")
    endforeach()
    foreach(key_value "Type=Application" "Exec=${program}" "Icon=quorvel" "Name=Quorvel"
                      "Terminal=false")
      string(REGEX MATCH "^([^=]+)=(.*)$" _ "${key_value}")
      if(NOT "${entry_${CMAKE_MATCH_1}}" STREQUAL "${CMAKE_MATCH_2}")
        fail("desktop entry: ${CMAKE_MATCH_1} is '${entry_${CMAKE_MATCH_1}}', not '${CMAKE_MATCH_2}'")
      endif()
    endforeach()
    if(NOT DEFINED "entry_Name[zh_CN]" OR NOT DEFINED "entry_Comment[zh_CN]")
      fail("desktop entry has no Chinese name or comment")
    endif()
    if(NOT "${entry_Categories}" MATCHES "(^|;)System;")
      fail("desktop entry categories '${entry_Categories}' lack System")
    endif()
  endif()
endif()

# --- The about box opens the installed readme, the scan the scanner ----------
# Copied beside the installed program after the layout check above; on Linux
# started through a link in bin/, as bin/quorvel is.
set(emulator "")
if(LAYOUT STREQUAL "windows")
  set(emulator ${EMULATOR})
endif()
if(LAYOUT STREQUAL "windows" AND "${emulator}" STREQUAL "")
  message(STATUS "readme path: not checked, no emulator runs this build's programs")
elseif(EXISTS "${program_path}")
  get_filename_component(probe_name "${PROBE}" NAME)
  file(COPY "${PROBE}" DESTINATION "${INSTALL_DIR}/${program_dir}")
  set(probe "${INSTALL_DIR}/${program_dir}${probe_name}")
  if(LAYOUT STREQUAL "linux")
    file(CREATE_LINK "../${program_dir}${probe_name}" "${INSTALL_DIR}/bin/${probe_name}" SYMBOLIC)
    set(probe "${INSTALL_DIR}/bin/${probe_name}")
  endif()
  execute_process(COMMAND ${emulator} "${probe}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE found ERROR_VARIABLE errors)
  file(REMOVE "${INSTALL_DIR}/${program_dir}${probe_name}" "${INSTALL_DIR}/bin/${probe_name}")
  string(REPLACE "\r" "" found "${found}")
  string(STRIP "${found}" found)
  string(REPLACE "\n" ";" found "${found}")
  foreach(name IN ITEMS quorvel.txt scan.exe)
    file(REAL_PATH "${INSTALL_DIR}/${program_dir}" path)
    string(APPEND path "/${name}")
    if(LAYOUT STREQUAL "windows")
      # Wine shows the Linux file system as drive Z:.
      string(REPLACE "/" "\\" path "Z:${path}")
      string(TOLOWER "${path}" path)
    endif()
    list(APPEND wanted "${path}")
  endforeach()
  if(LAYOUT STREQUAL "windows")
    string(TOLOWER "${found}" found)
  endif()
  if(NOT result EQUAL 0)
    fail("readme_path_probe failed (${result}): ${errors}")
  elseif(NOT found STREQUAL wanted)
    fail("the about box and the scan use '${found}', not the installed '${wanted}'")
  endif()
endif()

if(failed)
  message(FATAL_ERROR "the installed layout in ${INSTALL_DIR} is wrong")
endif()
message(STATUS "installed layout in ${INSTALL_DIR}: correct")
