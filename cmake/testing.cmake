# Where GoogleTest comes from, how test programs are made, and how they are run.

function(pinscope_find_gtest)
  if(CMAKE_CROSSCOMPILING)
    # Debian ships GoogleTest's sources; build them for the Windows target.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
  endif()
endfunction()

if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  # Tests of the 64-bit flavour run as Windows programs under Wine, in a prefix of the build tree.
  set(PINSCOPE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run CACHE FILEPATH "" FORCE)
endif()

include(GoogleTest)

# pinscope_test(NAME [SERIAL] sources... LIBS libs...): one GoogleTest program. SERIAL runs
# its tests one at a time, for tests that share something machine-wide such as a service.
function(pinscope_test name)
  cmake_parse_arguments(T "SERIAL" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  # Helpers for tests only: on no product target's include path.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/testing)
  if(PINSCOPE_RUN_TESTS)
    set(properties)
    if(T_SERIAL)
      set(properties PROPERTIES RUN_SERIAL TRUE)
    endif()
    # The first Wine start creates its prefix, which takes tens of seconds.
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 600 DISCOVERY_MODE PRE_TEST ${properties})
  endif()
endfunction()
