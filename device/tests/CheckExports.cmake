# cmake -DLIBRARY=<libzep9100.so> -DNM=<nm> -P CheckExports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")
set(names)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
set(expected
  Zep9100Close Zep9100Create Zep9100GetData Zep9100GetDevInfo Zep9100GetEquData
  Zep9100GetLastError Zep9100GetMemSize Zep9100GetStatus Zep9100GetVersion
  Zep9100SetMode Zep9100StartSampling Zep9100StopSampling)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported: ${names}\nexpected: ${expected}")
endif()
message(STATUS "exactly the twelve functions are exported")
