# Script mode (cmake -P), run by the `release` target with CONTENTS naming the file that
# cmake/Release.cmake generated.
include(${CONTENTS})

set(stage ${STAGE_ROOT}/${RELEASE_NAME})
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage}/tests)

# The debug information goes to Orlimo.debug; the exe keeps only its name and checksum
# (.gnu_debuglink), by which gdb finds it next to the exe.
execute_process(COMMAND ${OBJCOPY} --only-keep-debug ${PROGRAM} ${stage}/Orlimo.debug
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${OBJCOPY} --strip-all --add-gnu-debuglink=Orlimo.debug
    ${PROGRAM} ${stage}/Orlimo.exe
  WORKING_DIRECTORY ${stage}
  COMMAND_ERROR_IS_FATAL ANY)

# The end-to-end tests start Orlimo.exe from their own folder.
file(COPY ${stage}/Orlimo.exe DESTINATION ${stage}/tests)
foreach(program IN LISTS TEST_PROGRAMS)
  get_filename_component(name ${program} NAME)
  execute_process(COMMAND ${OBJCOPY} --strip-all ${program} ${stage}/tests/${name}
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# Windows users open these in Notepad and cmd.
configure_file(${PACKAGING_DIR}/README.txt ${stage}/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${PACKAGING_DIR}/run-tests.cmd ${stage}/tests/run-tests.cmd @ONLY NEWLINE_STYLE CRLF)

file(GLOB_RECURSE files RELATIVE ${stage} ${stage}/*)
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
  file(SHA256 ${stage}/${file} hash)
  string(APPEND sums "${hash}  ${file}\n")
endforeach()
file(WRITE ${stage}/SHA256SUMS "${sums}")

get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${output_dir})
file(REMOVE ${OUTPUT})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT} --format=zip ${RELEASE_NAME}
  WORKING_DIRECTORY ${STAGE_ROOT}
  COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "Release archive: ${OUTPUT}")
