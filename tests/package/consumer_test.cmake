# Installs the library into a scratch prefix, then builds and runs a small
# consumer twice: once through find_package(Vantrel), once through pkg-config.
function(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(rc)
    message(FATAL_ERROR "${what} failed: ${rc}\n${out}")
  endif()
endfunction()
set(prefix "${BINARY_DIR}/consumer/prefix")
set(build "${BINARY_DIR}/consumer/build")
file(REMOVE_RECURSE "${BINARY_DIR}/consumer")
step(install ${CMAKE_COMMAND} --install "${BINARY_DIR}" --prefix "${prefix}")
step(configuring ${CMAKE_COMMAND} -S "${SOURCE_DIR}/tests/package" -B "${build}"
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${COMPILER})
step(building ${CMAKE_COMMAND} --build "${build}")
step(consumer "${build}/consumer")

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  set(libs "${prefix}/lib:${prefix}/lib/x86_64-linux-gnu:${prefix}/lib/aarch64-linux-gnu")
  string(REPLACE ":" "/pkgconfig:" pc_path "${libs}/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "${pc_path}")
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs vantrel
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  step("building with pkg-config flags" ${COMPILER} -std=c++20 -DVANTREL_CONSUMER_CXX20
    "${SOURCE_DIR}/tests/package/consumer.cpp" -o "${BINARY_DIR}/consumer/pc_consumer" ${flags})
  # The flags carry no run path: the loader is told where the library is.
  step("pkg-config consumer" ${CMAKE_COMMAND} -E env "LD_LIBRARY_PATH=${libs}"
    "${BINARY_DIR}/consumer/pc_consumer")
endif()
