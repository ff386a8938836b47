# cmake -DOBJDUMP=... -DFILES="a;b" -P CheckImports.cmake
cmake_minimum_required(VERSION 3.20)
# Fails when a file imports a DLL that is not part of Windows itself, for
# example the mingw runtime DLLs that a missing -static would bring in.
set(ALLOWED
  kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll shlwapi.dll ole32.dll
  oleaut32.dll comctl32.dll comdlg32.dll msvcrt.dll wininet.dll ws2_32.dll msimg32.dll
  version.dll)
set(failed FALSE)
foreach(file IN LISTS FILES)
  execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(SEND_ERROR "objdump failed on ${file}")
    set(failed TRUE)
    continue()
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" names "${dump}")
  set(found "")
  foreach(entry IN LISTS names)
    string(REPLACE "DLL Name: " "" dll "${entry}")
    string(TOLOWER "${dll}" dll)
    list(APPEND found ${dll})
    if(NOT dll IN_LIST ALLOWED)
      message(SEND_ERROR "${file} imports ${dll}, which is not a system DLL")
      set(failed TRUE)
    endif()
  endforeach()
  message(STATUS "${file}: ${found}")
endforeach()
if(failed)
  message(FATAL_ERROR "import check failed")
endif()
