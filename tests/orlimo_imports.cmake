# Fails when a program of the release imports a DLL that is not one of the system's known DLLs.
# Windows always loads a known DLL from the system folder; for any other imported DLL it looks in
# the program's own folder first, so a file of that name dropped beside a downloaded Orlimo.exe
# (or beside a test program) would run inside it. Every other DLL is loaded at run time from the
# system folder. An import that cannot be resolved also keeps a program from starting at all,
# which the known DLLs, present on every Windows 10/11 edition, never do.
#   cmake -DOBJDUMP=<objdump> -DEXECUTABLE=<program.exe> -P orlimo_imports.cmake
cmake_minimum_required(VERSION 3.25)
# HKLM\System\CurrentControlSet\Control\Session Manager\KnownDLLs of Windows 10 and 11, with
# ntdll.dll (always loaded first) and the api-ms-win-* API sets (resolved by the loader itself).
set(known_dlls
  advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll gdiplus.dll
  imagehlp.dll imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll
  oleaut32.dll psapi.dll rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll
  user32.dll wldap32.dll ws2_32.dll ntdll.dll)

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
  if(NOT dll IN_LIST known_dlls AND NOT dll MATCHES "^api-ms-win-")
    list(APPEND refused ${dll})
  endif()
endforeach()
if(refused)
  message(FATAL_ERROR "${EXECUTABLE} imports DLLs that are not known DLLs: ${refused}")
endif()
