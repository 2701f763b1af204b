# Installs the library into a scratch prefix, then builds and runs a small
# consumer twice: once through find_package(Vantrel), once through pkg-config.
set(prefix "${BINARY_DIR}/consumer/prefix")
file(REMOVE_RECURSE "${BINARY_DIR}/consumer")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BINARY_DIR}" --prefix "${prefix}"
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "install failed: ${rc}")
endif()

set(build "${BINARY_DIR}/consumer/build")
execute_process(COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}/tests/package" -B "${build}"
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${COMPILER} RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "configuring the consumer failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build "${build}" RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "building the consumer failed")
endif()
execute_process(COMMAND "${build}/consumer" RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "the consumer failed: ${rc}")
endif()

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} "${prefix}/lib/pkgconfig:${prefix}/lib/x86_64-linux-gnu/pkgconfig:${prefix}/lib/aarch64-linux-gnu/pkgconfig")
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs vantrel
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "pkg-config does not know vantrel")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  execute_process(COMMAND ${COMPILER} -std=c++20 -DVANTREL_CONSUMER_CXX20
    "${SOURCE_DIR}/tests/package/consumer.cpp" -o "${BINARY_DIR}/consumer/pc_consumer" ${flags}
    RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "building with pkg-config flags failed")
  endif()
  # The flags carry no run path: the loader is told where the library is.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env
    "LD_LIBRARY_PATH=${prefix}/lib:${prefix}/lib/x86_64-linux-gnu:${prefix}/lib/aarch64-linux-gnu"
    "${BINARY_DIR}/consumer/pc_consumer" RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "the pkg-config consumer failed: ${rc}")
  endif()
endif()
