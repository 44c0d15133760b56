# Packs a release archive; cmake/release.cmake runs it at build time:
#   cmake -DSTRIP=... -DSTAGE=DIR -DNAME=FOLDER -DARCHIVE=ZIP -DREADME=TEXT -P release-pack.cmake -- PROGRAM...
# The folder is staged afresh, so nothing left from an earlier build goes in. The programs go
# in without debug information and symbols, which a Windows user has no use for and which are
# most of their size, but keep the time they were linked: the same program always packs to
# the same bytes, and checks/check-archive.sh can make them again. An empty STRIP packs the
# programs as they are (signed ones, which stripping would unsign).

# The PE header's link time, at e_lfanew + 8, as a number.
function(link_time image out)
  file(READ ${image} bytes OFFSET 60 LIMIT 4 HEX)
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" bytes "${bytes}")
  math(EXPR header "0x${bytes}")
  math(EXPR at "${header} + 8")
  file(READ ${image} bytes OFFSET ${at} LIMIT 4 HEX)
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" bytes "${bytes}")
  math(EXPR time "0x${bytes}")
  set(${out} ${time} PARENT_SCOPE)
endfunction()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}")
  endif()
endfunction()

set(programs "")
set(after_dashes FALSE)
foreach(i RANGE ${CMAKE_ARGC})
  if(after_dashes AND DEFINED CMAKE_ARGV${i})
    list(APPEND programs ${CMAKE_ARGV${i}})
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(after_dashes TRUE)
  endif()
endforeach()
if(NOT programs)
  message(FATAL_ERROR "no programs to pack")
endif()

set(folder ${STAGE}/${NAME})
file(REMOVE_RECURSE ${folder})
file(MAKE_DIRECTORY ${folder})
foreach(program IN LISTS programs)
  link_time(${program} time)
  get_filename_component(file_name ${program} NAME)
  if(STRIP)
    run(${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${time} ${STRIP} --strip-all -o ${folder}/${file_name} ${program})
  else()
    file(COPY ${program} DESTINATION ${folder})
  endif()
endforeach()
file(COPY ${README} DESTINATION ${folder})
file(REMOVE ${ARCHIVE})
run(${CMAKE_COMMAND} -E chdir ${STAGE} ${CMAKE_COMMAND} -E tar cf ${ARCHIVE} --format=zip ${NAME})
