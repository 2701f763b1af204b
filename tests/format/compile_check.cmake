# Format strings are checked when the host is compiled: each case of
# compile_check.cpp, compiled alone (syntax only), compiles or is rejected
# as the table says (case:standard:outcome).
foreach(row 1:c++17:compiles 1:c++20:compiles 2:c++17:rejected 3:c++17:rejected
            3:c++20:rejected 4:c++20:rejected)
  string(REPLACE ":" ";" row "${row}")
  list(POP_FRONT row case standard expected)
  execute_process(COMMAND ${COMPILER} -std=${standard} -fsyntax-only -DCASE=${case}
      -I${SOURCE_DIR}/include -I${BINARY_DIR}/include ${SOURCE_DIR}/tests/format/compile_check.cpp
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(outcome compiles)
  if(rc)
    set(outcome rejected)
  endif()
  if(NOT outcome STREQUAL expected)
    message(SEND_ERROR "case ${case} as ${standard}: ${outcome}, expected ${expected}\n${out}")
  endif()
endforeach()
