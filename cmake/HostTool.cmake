# add_host_tool(name source...): builds a program for the build machine itself with the host
# compiler (the project is cross-compiled, so CMake's own targets cannot do that) and exposes it
# as the imported path ${name}_EXECUTABLE plus a target host_${name} to depend on. The compiler's
# dependency file rebuilds it when a header it includes changes.
find_program(HOST_CXX NAMES c++ g++ REQUIRED NO_CMAKE_FIND_ROOT_PATH)
function(add_host_tool name)
  set(output ${CMAKE_BINARY_DIR}/host/${name})
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${HOST_CXX} -std=c++20 -O2 -Wall -I${CMAKE_SOURCE_DIR} -MD -MF ${output}.d -o ${output} ${ARGN}
    DEPENDS ${ARGN}
    DEPFILE ${output}.d
    COMMENT "Building host tool ${name}")
  add_custom_target(host_${name} ALL DEPENDS ${output})
  set(${name}_EXECUTABLE ${output} PARENT_SCOPE)
endfunction()
