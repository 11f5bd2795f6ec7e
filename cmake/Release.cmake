# The `release` target: dist/Orlimo-<version>-win64.zip with the stripped program, its debug
# information beside it, a readme, every Windows test program and SHA256SUMS.
# Splitting the debug information needs GNU objcopy, so only the MinGW build has it.

set(ORLIMO_RELEASE_NAME Orlimo-${PROJECT_VERSION}-win64)
get_property(test_programs GLOBAL PROPERTY ORLIMO_TEST_PROGRAMS)
list(FILTER test_programs INCLUDE REGEX ".") # no tests when GoogleTest's sources are missing

set(test_program_files "")
foreach(program IN LISTS test_programs)
  list(APPEND test_program_files "$<TARGET_FILE:${program}>")
endforeach()

# What the packaging script reads; generator expressions give the built files' paths.
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/release/contents.cmake CONTENT "\
set(RELEASE_NAME \"${ORLIMO_RELEASE_NAME}\")
set(VERSION \"${PROJECT_VERSION}\")
set(OBJCOPY \"${CMAKE_OBJCOPY}\")
set(PROGRAM \"$<TARGET_FILE:Orlimo>\")
set(TEST_PROGRAMS \"${test_program_files}\")
set(PACKAGING_DIR \"${CMAKE_SOURCE_DIR}/packaging\")
set(STAGE_ROOT \"${CMAKE_BINARY_DIR}/release\")
set(OUTPUT \"${CMAKE_SOURCE_DIR}/dist/${ORLIMO_RELEASE_NAME}.zip\")
")

add_custom_target(release
  COMMAND ${CMAKE_COMMAND} -DCONTENTS=${CMAKE_BINARY_DIR}/release/contents.cmake
    -P ${CMAKE_SOURCE_DIR}/cmake/package_release.cmake
  DEPENDS Orlimo ${test_programs}
  COMMENT "Packing dist/${ORLIMO_RELEASE_NAME}.zip"
  VERBATIM)
