# Warnings, hardening and sanitizer settings shared by every target.

function(orlimo_set_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
      -Wno-sign-conversion -Wno-missing-field-initializers)
  elseif(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive-)
  endif()
endfunction()

if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE Release CACHE STRING "" FORCE)
endif()

if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # Static runtime (the exe imports system DLLs only); ASLR with high entropy and DEP.
  add_link_options(-static -static-libgcc -static-libstdc++
    -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
  string(APPEND CMAKE_CXX_FLAGS_RELEASE " -O2")
endif()

if(ORLIMO_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
