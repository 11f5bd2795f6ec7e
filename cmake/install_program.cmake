# Install-time step (install(CODE) in cmake/Release.cmake sets PROGRAM and OBJCOPY): the
# program, stripped, with its debug information in Orlimo.debug beside it, and the same stripped
# copy in tests\, since the end-to-end tests start Orlimo.exe from their own folder.
# The exe keeps only the debug file's name and checksum (.gnu_debuglink), by which gdb finds it.
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(MAKE_DIRECTORY "${root}/tests")
message(STATUS "Installing: ${root}/Orlimo.exe, Orlimo.debug and tests/Orlimo.exe")
execute_process(COMMAND "${OBJCOPY}" --only-keep-debug "${PROGRAM}" "${root}/Orlimo.debug"
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${OBJCOPY}" --strip-all --add-gnu-debuglink=Orlimo.debug
    "${PROGRAM}" "${root}/Orlimo.exe"
  WORKING_DIRECTORY "${root}"
  COMMAND_ERROR_IS_FATAL ANY)
file(COPY "${root}/Orlimo.exe" DESTINATION "${root}/tests")
foreach(name Orlimo.exe Orlimo.debug tests/Orlimo.exe)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_PREFIX}/${name}")
endforeach()
