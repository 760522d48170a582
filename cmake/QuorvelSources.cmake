# quorvel_platform_sources(<var> <dir> <name>...)
# For each name, adds <dir>/<name>.cpp when it exists and the platform file
# beside it: <name>_win.cpp on Windows, <name>_posix.cpp and <name>_qt.cpp
# elsewhere. Keeps #ifdefs out of the shared files.
function(quorvel_platform_sources var dir)
  set(result)
  foreach(name IN LISTS ARGN)
    foreach(suffix "" ${QUORVEL_PLATFORM_SUFFIXES})
      if(EXISTS ${dir}/${name}${suffix}.cpp)
        list(APPEND result ${dir}/${name}${suffix}.cpp)
      endif()
    endforeach()
  endforeach()
  set(${var} ${result} PARENT_SCOPE)
endfunction()

if(WIN32)
  set(QUORVEL_PLATFORM_SUFFIXES _win)
else()
  set(QUORVEL_PLATFORM_SUFFIXES _posix _qt)
endif()
