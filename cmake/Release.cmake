# The release archive dist/Orlimo-<version>-win64.zip, made by CPack's ZIP generator
# (`cpack --preset windows`) from the install rules below: the stripped program with its debug
# information beside it, a readme, every Windows test program with a copy of the program, and
# SHA256SUMS. Splitting the debug information needs GNU objcopy, so only the MinGW build has it.
# The install rules run in the order written here, so the checksums come last.

get_property(test_programs GLOBAL PROPERTY ORLIMO_TEST_PROGRAMS)

install(CODE "
  set(PROGRAM \"$<TARGET_FILE:Orlimo>\")
  set(OBJCOPY \"${CMAKE_OBJCOPY}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/install_program.cmake\")")

# CPack strips them (CPACK_STRIP_FILES); only the program keeps its debug information.
if(test_programs)
  install(TARGETS ${test_programs} RUNTIME DESTINATION tests)
endif()

# Windows users open these in Notepad and cmd.
configure_file(packaging/README.txt packaging/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(packaging/run-tests.cmd packaging/run-tests.cmd @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/packaging/run-tests.cmd DESTINATION tests)

install(SCRIPT cmake/install_checksums.cmake)

# What tools/check_release.py expects in tests\ besides the program: the test programs' names.
set(test_program_names "")
foreach(program IN LISTS test_programs)
  string(APPEND test_program_names "$<TARGET_FILE_NAME:${program}>\n")
endforeach()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/release/test-programs.txt CONTENT "${test_program_names}")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME Orlimo-${PROJECT_VERSION}-win64)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_SOURCE_DIR}/dist)
set(CPACK_STRIP_FILES ON)
include(CPack)
