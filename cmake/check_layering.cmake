# Fails when a file of FOLDER includes a project folder that is not in ALLOWED (comma separated).
# Run as a build step by orlimo_folder_library, so it sees every edit. An include names its
# folder by everything before the file name: "recording/sound/audio_chunk.h" is recording/sound.
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" allowed "${ALLOWED}")
file(GLOB files ${ROOT}/${FOLDER}/*.h ${ROOT}/${FOLDER}/*.cpp)
foreach(file IN LISTS files)
  file(STRINGS ${file} includes REGEX "^#include \"[a-z_0-9]+(/[a-z_0-9]+)*/[a-z_0-9]+\\.h\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"(([a-z_0-9]+/)*[a-z_0-9]+)/[a-z_0-9]+\\.h\".*" "\\1" included "${line}")
    if(NOT included IN_LIST allowed)
      message(FATAL_ERROR "${file} includes ${included}/, which ${FOLDER}/ may not use")
    endif()
  endforeach()
endforeach()
file(TOUCH ${STAMP})
