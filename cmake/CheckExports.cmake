# cmake -DOBJDUMP=... -DFILE=... -P CheckExports.cmake
cmake_minimum_required(VERSION 3.20)
# Fails unless the file exports exactly the host's 16 functions, by their
# plain names (no "@n" decoration, nothing else).
set(EXPECTED FsDeleteFile FsExecuteFile FsFindClose FsFindFirst FsFindNext FsGetDefRootName FsGetFile FsInit
    FsMkDir FsPutFile FsRemoveDir FsRenMovFile FsSetAttr FsSetDefaultParams FsSetTime FsStatusInfo)
execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${FILE}")
endif()
# The name table: after "[Ordinal/Name Pointer] Table", one line "\t[   n] name" per name.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(\t[^\n]+\n)*" table "${dump}")
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" lines "${table}")
set(found "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND found ${name})
endforeach()
list(SORT found)
if(NOT found STREQUAL EXPECTED)
  message(FATAL_ERROR "exports: ${found}\nexpected: ${EXPECTED}")
endif()
message(STATUS "${FILE} exports the 16 functions")
