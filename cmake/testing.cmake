# Where GoogleTest comes from, how test programs are made, and how they are run.

function(pinscope_find_gtest)
  if(CMAKE_CROSSCOMPILING)
    # Debian ships GoogleTest's sources; build them for the Windows target.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(library gtest gtest_main gmock gmock_main)
      pinscope_test_code(${library})
    endforeach()
  else()
    find_package(GTest REQUIRED)
  endif()
endfunction()

if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  set(PINSCOPE_WINE_LOADER /usr/lib/wine/wine64)
  set(PINSCOPE_WINEARCH win64)
elseif(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "X86")
  # A pure 32-bit prefix: under WOW64 the 32-bit program refuses direct mode, as on 64-bit Windows.
  set(PINSCOPE_WINE_LOADER /usr/lib/wine/wine)
  set(PINSCOPE_WINEARCH win32)
  # Probed at every configure, as it costs milliseconds: 32-bit Wine's loader is itself an i386
  # program, so one run of it tells whether it is installed and whether the kernel runs i386 code.
  if(NOT EXISTS ${PINSCOPE_WINE_LOADER})
    set(no_wine32 "no 32-bit Wine (${PINSCOPE_WINE_LOADER}; scripts/setup installs it)")
  else()
    execute_process(COMMAND ${PINSCOPE_WINE_LOADER} --version RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
    if(NOT status EQUAL 0)
      set(no_wine32 "this machine's kernel does not run 32-bit programs")
    endif()
  endif()
  if(no_wine32)
    message(NOTICE "win32: ${no_wine32}: its programs are checked statically, not run under Wine")
    set(PINSCOPE_RUN_TESTS OFF)
    unset(PINSCOPE_WINE_LOADER)
    file(REMOVE ${CMAKE_BINARY_DIR}/wine-run)
    unset(CMAKE_CROSSCOMPILING_EMULATOR CACHE)
  endif()
endif()
if(PINSCOPE_WINE_LOADER)
  # The tests of a Windows flavour run as Windows programs under Wine, in a prefix of the build tree.
  set(PINSCOPE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run CACHE FILEPATH "" FORCE)
endif()

include(GoogleTest)

if(CMAKE_CROSSCOMPILING)
  find_program(PINSCOPE_LLD NAMES ld.lld ld.lld-14)
endif()

# pinscope_test_code(TARGET): a test program's own code is compiled without optimisation or
# debug information in the optimised flavours, which halves its compile time (GoogleTest's
# templates are most of it), and with line tables only in the sanitizer build, which is what
# its reports name (a fifth less compile time); what it tests, the product's libraries, keeps
# the product's flags.
function(pinscope_test_code target)
  target_compile_options(${target} PRIVATE $<$<AND:$<NOT:$<CONFIG:Debug>>,$<COMPILE_LANGUAGE:CXX>>:-O0 -g0>
                                           $<$<AND:$<CONFIG:Debug>,$<COMPILE_LANGUAGE:CXX>>:-g1>)
endfunction()

# pinscope_test(NAME [SERIAL] sources... LIBS libs...): one GoogleTest program. SERIAL runs
# its tests with no other test beside them, for tests that share something machine-wide such
# as a service.
function(pinscope_test name)
  cmake_parse_arguments(T "SERIAL" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  pinscope_test_code(${name})
  # Nothing is downloaded: the test programs skip the product's dropping of unreached code,
  # a fifth of the linker's time in the Windows flavours.
  if(WIN32)
    target_link_options(${name} PRIVATE $<$<NOT:$<CONFIG:Debug>>:-Wl,--no-gc-sections>)
    if(PINSCOPE_LLD)
      set_target_properties(${name} PROPERTIES RULE_LAUNCH_LINK "${PROJECT_SOURCE_DIR}/cmake/link-with-lld ${PINSCOPE_LLD}")
    endif()
  endif()
  # Compiled a few files at a time: GoogleTest's headers, parsed once per batch instead of once
  # per file, cost more than most tests' own code.
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON)
  if(NOT PINSCOPE_RUN_TESTS)
    return()
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Under Wine a process start costs more than most cases: one run of the whole program, which
    # names each failed or skipped case in its output.
    add_test(NAME ${name} COMMAND ${name})
    if(T_SERIAL)
      set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
    endif()
  else()
    set(properties)
    if(T_SERIAL)
      set(properties PROPERTIES RUN_SERIAL TRUE)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST ${properties})
  endif()
endfunction()
