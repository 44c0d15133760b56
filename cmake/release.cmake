# The release archive of a Windows flavour, what a Windows user downloads:
# pinscope-VERSION-FLAVOUR.zip with one folder of the same name, holding the programs (with
# the real port driver, never the virtual one) and README.txt, a short text for Windows users.
# `cmake --build --preset FLAVOUR --target release` makes it; every build of the flavour does.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "X86")
  set(PINSCOPE_FLAVOUR win32)
  set(RELEASE_WINDOWS 32-bit)
  set(RELEASE_DRIVER_NOTE [=[
This is the 32-bit Pinscope, for 32-bit Windows. On 64-bit Windows it refuses direct mode
(its driver would be looked for in another drivers folder than the one it writes to): take
the 64-bit archive there.]=])
else()
  set(PINSCOPE_FLAVOUR win64)
  set(RELEASE_WINDOWS 64-bit)
  set(RELEASE_DRIVER_NOTE [=[
64-bit Windows and driver signing
64-bit Windows loads a kernel driver only when it is signed, and Windows 10 and 11 with
Secure Boot on take a new driver only with Microsoft's signature. The driver in the build's
own archive is not signed; a signed release carries a signed one. First run, in a command
prompt,

    pinscope-cli check

It says whether direct mode can work on this machine, and if not, why. Without the driver,
the console program's handle mode (pinscope-cli --handle) still sends bytes and reads the
printer states that Windows decodes.

A driver signed with a test certificate of your own loads only in test-signing mode, with
Secure Boot off and the certificate in the machine's trusted stores: in a command prompt
run as administrator, enter

    bcdedit /set testsigning on

and restart. Test signing weakens the machine's protection: in that mode Windows loads any
driver signed with any test certificate the machine trusts, so malicious drivers load too,
and some programs (games' anti-cheat, some protected video players) refuse to run. Turn it
off again as soon as you are done with the port, in a command prompt run as administrator:

    bcdedit /set testsigning off

and restart. Windows shows "Test Mode" at the bottom right of the desktop while it is on.]=])
endif()

# The programs the archive holds: the window (app/) and the console program (cli/).
set(PINSCOPE_RELEASE_PROGRAMS pinscope pinscope-cli)

set(PINSCOPE_RELEASE_NAME pinscope-${PROJECT_VERSION}-${PINSCOPE_FLAVOUR})
set(PINSCOPE_RELEASE_ARCHIVE ${PROJECT_BINARY_DIR}/${PINSCOPE_RELEASE_NAME}.zip)
set(release_stage ${PROJECT_BINARY_DIR}/release)

set(RELEASE_CONTENTS "")
set(release_files "")
foreach(program ${PINSCOPE_RELEASE_PROGRAMS})
  string(LENGTH "${program}.exe" length)
  math(EXPR pad "17 - ${length}")
  string(REPEAT " " ${pad} spaces)
  get_target_property(description ${program} PINSCOPE_DESCRIPTION)
  string(APPEND RELEASE_CONTENTS "  ${program}.exe${spaces}${description}\n")
  list(APPEND release_files $<TARGET_FILE:${program}>)
endforeach()
# Windows users read it in Notepad: Windows line ends.
configure_file(${CMAKE_CURRENT_LIST_DIR}/release-readme.txt.in ${release_stage}/README.txt @ONLY NEWLINE_STYLE CRLF)

add_custom_command(OUTPUT ${PINSCOPE_RELEASE_ARCHIVE}
                   COMMAND ${CMAKE_COMMAND} -DSTRIP=${CMAKE_STRIP} -DSTAGE=${release_stage}
                           -DNAME=${PINSCOPE_RELEASE_NAME} -DARCHIVE=${PINSCOPE_RELEASE_ARCHIVE}
                           -DREADME=${release_stage}/README.txt
                           -P ${CMAKE_CURRENT_LIST_DIR}/release-pack.cmake -- ${release_files}
                   DEPENDS ${release_files} ${release_stage}/README.txt ${CMAKE_CURRENT_LIST_DIR}/release-pack.cmake
                   COMMENT "Packing ${PINSCOPE_RELEASE_NAME}.zip"
                   VERBATIM)
add_custom_target(release ALL DEPENDS ${PINSCOPE_RELEASE_ARCHIVE})
