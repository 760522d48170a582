# Hardening of everything built here, the shipped programs first.
#
# Windows (mingw-w64): relocatable image (ASLR), no execution of data pages
# (DEP), 64-bit address randomisation on x86_64, and stripped, trimmed
# release programs. The program itself restricts DLL loading to the system
# directory at start-up (app/main_win.cpp).
# Linux: position-independent executables, read-only relocations bound at
# start (-z relro -z now), stack protector, and the checked
# C library calls of _FORTIFY_SOURCE=2 where the build optimises (the checks
# need it) and no sanitizer runs (they get in each other's way).
# tests/hardening checks the result in the built program.
include(CheckPIESupported)

string(TOLOWER "${CMAKE_CXX_FLAGS}" quorvel_cxx_flags)
if(quorvel_cxx_flags MATCHES "-fsanitize")
  set(QUORVEL_SANITIZED ON)
else()
  set(QUORVEL_SANITIZED OFF)
endif()

if(WIN32)
  add_link_options(-Wl,--dynamicbase -Wl,--nxcompat)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
    add_link_options(-Wl,--high-entropy-va)
  endif()
  add_link_options($<$<CONFIG:Release,MinSizeRel>:-s>)

  # Size of the release programs: unused functions and data are dropped, and
  # the shipped program goes without libstdc++'s verbose terminate handler,
  # which names the type of an uncaught exception on the console and brings
  # the whole C++ demangler (about 45 KiB) along. A window program has no
  # console to print on; it still ends through abort().
  add_compile_options($<$<CONFIG:Release,MinSizeRel>:-ffunction-sections>
                      $<$<CONFIG:Release,MinSizeRel>:-fdata-sections>)
  add_link_options($<$<CONFIG:Release,MinSizeRel>:-Wl,--gc-sections>)
  function(quorvel_drop_verbose_terminate)
    if(NOT TARGET quorvel)
      return()
    endif()
    set(handler _ZN9__gnu_cxx27__verbose_terminate_handlerEv)
    set(abort abort)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)  # i686 symbols carry a leading underscore
      set(handler _${handler})
      set(abort _${abort})
    endif()
    target_link_options(quorvel PRIVATE
                        $<$<CONFIG:Release,MinSizeRel>:-Wl,--defsym,${handler}=${abort}>)
  endfunction()
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL quorvel_drop_verbose_terminate)
else()
  check_pie_supported(OUTPUT_VARIABLE quorvel_pie_output LANGUAGES C CXX)
  if(NOT CMAKE_CXX_LINK_PIE_SUPPORTED)
    message(WARNING "No position-independent executables: ${quorvel_pie_output}")
  endif()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
  add_compile_options(-fstack-protector-strong)
  if(NOT QUORVEL_SANITIZED)
    add_compile_options($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE>
                        $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>)
  endif()
endif()
