# Fails when Orlimo.exe imports a DLL that some Windows 10/11 edition lacks. An executable whose
# import cannot be resolved does not start at all, so the N editions (no Media Foundation, no
# Windows Media Player) must find every name below.
#   cmake -DOBJDUMP=<objdump> -DEXECUTABLE=<Orlimo.exe> -P orlimo_imports.cmake
cmake_minimum_required(VERSION 3.25)
set(system_dlls
  advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll user32.dll
  dwmapi.dll windowscodecs.dll ksuser.dll winmm.dll shcore.dll)

execute_process(COMMAND ${OBJDUMP} -p ${EXECUTABLE}
  OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXECUTABLE} failed: ${result}")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no imports found in ${EXECUTABLE}")
endif()
set(refused "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  message(STATUS "imports ${dll}")
  if(NOT dll IN_LIST system_dlls)
    list(APPEND refused ${dll})
  endif()
endforeach()
if(refused)
  message(FATAL_ERROR "Orlimo.exe imports DLLs outside the editions' common set: ${refused}")
endif()
