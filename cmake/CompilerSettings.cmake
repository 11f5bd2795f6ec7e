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

# Makes the library of one source folder (`common`, or a wing such as `recording/sound`; the
# target is orlimo_ with the slashes made underscores). `USES` names the folders it may include
# and link. An include of any other project folder stops the build: the check runs on every
# build whose sources changed (cmake/check_layering.cmake), so a new include is caught at once.
function(orlimo_folder_library folder)
  cmake_parse_arguments(ARG "" "" "PORTABLE;WINDOWS;USES" ${ARGN})
  string(REPLACE "/" "_" target "orlimo_${folder}")
  add_library(${target} STATIC ${ARG_PORTABLE})
  if(WIN32)
    target_sources(${target} PRIVATE ${ARG_WINDOWS})
    target_compile_definitions(${target} PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
      _WIN32_WINNT=0x0A00 WINVER=0x0A00)
  endif()
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  foreach(used IN LISTS ARG_USES)
    string(REPLACE "/" "_" used_target "orlimo_${used}")
    if(TARGET ${used_target})
      target_link_libraries(${target} PUBLIC ${used_target})
    endif()
  endforeach()
  orlimo_set_warnings(${target})

  file(GLOB files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h
    ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.layering)
  string(REPLACE ";" "," allowed "${folder};${ARG_USES}")
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${folder} "-DALLOWED=${allowed}" -DSTAMP=${stamp}
      -DROOT=${PROJECT_SOURCE_DIR} -P ${PROJECT_SOURCE_DIR}/cmake/check_layering.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/check_layering.cmake
    COMMENT "Checking the includes of ${folder}/" VERBATIM)
  add_custom_target(${target}_layering DEPENDS ${stamp})
  add_dependencies(${target} ${target}_layering)
endfunction()
