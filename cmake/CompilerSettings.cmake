# Warnings, hardening and sanitizer settings shared by every target.

function(orlimo_set_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
      -Wno-sign-conversion -Wno-missing-field-initializers)
  elseif(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive-)
  endif()
endfunction()

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE Release CACHE STRING "" FORCE)
endif()

if(MINGW)
  # Static runtime (the exe imports system DLLs only); ASLR with high entropy and DEP.
  add_link_options(-static -static-libgcc -static-libstdc++
    -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
endif()

if(MSVC)
  # One self-contained exe: the C runtime linked in, as the MinGW build does. GoogleTest is
  # built with the same runtime (tests/CMakeLists.txt), or the test programs fail to link.
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  # The linker's defaults already give ASLR (high entropy on x64) and DEP.
endif()

if(ORLIMO_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Makes the library of one source folder. `USES` names the folders it may include and link;
# an include of any other project folder in its sources or headers stops the configuration, so
# the layering cannot erode unnoticed.
function(orlimo_folder_library folder)
  cmake_parse_arguments(ARG "" "" "PORTABLE;WINDOWS;USES" ${ARGN})
  set(target orlimo_${folder})
  add_library(${target} STATIC ${ARG_PORTABLE})
  if(WIN32)
    target_sources(${target} PRIVATE ${ARG_WINDOWS})
    target_compile_definitions(${target} PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
      _WIN32_WINNT=0x0A00 WINVER=0x0A00)
  endif()
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  foreach(used IN LISTS ARG_USES)
    if(TARGET orlimo_${used})
      target_link_libraries(${target} PUBLIC orlimo_${used})
    endif()
  endforeach()
  orlimo_set_warnings(${target})

  set(allowed ${folder} ${ARG_USES})
  file(GLOB files ${PROJECT_SOURCE_DIR}/${folder}/*.h ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^#include \"[a-z_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" included "${line}")
      if(NOT included IN_LIST allowed)
        message(FATAL_ERROR "${file} includes ${included}/, which ${folder}/ may not use")
      endif()
    endforeach()
  endforeach()
endfunction()
