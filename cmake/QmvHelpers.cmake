# Build helpers: one to add a MEX module, one to add a GoogleTest binary, one to
# add an Octave integration test.

# Warnings and (optionally) sanitizers for every target of our own.
add_library(qmv_common INTERFACE)
target_compile_options(qmv_common INTERFACE -Wall -Wextra)
# GCC marks static members of templates as unique global symbols, which makes
# a plug-in impossible to unload and lets two modules share them; the code of
# a module reaches it through static libraries too, so every target opts out.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(qmv_common INTERFACE -fno-gnu-unique)
endif()
# One section per function and datum, so that a MEX link can drop what no
# entry reaches (--gc-sections in qmv_add_mex).
target_compile_options(qmv_common INTERFACE -ffunction-sections -fdata-sections)
if(NOT QMV_SANITIZE STREQUAL "")
  set(_san -fsanitize=${QMV_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(qmv_common INTERFACE ${_san} -g)
  target_link_options(qmv_common INTERFACE ${_san})
endif()

set(QMV_MEX_OUTPUT_DIR ${CMAKE_BINARY_DIR}/mex)

# qmv_add_host_library(<name> SOURCES <files...> [LIBRARIES <targets...>])
#   Code that calls the host API but is shared by modules (argument contracts,
#   array copies, messages). The host's types differ between the stand-in,
#   Octave and MATLAB, so it is built once per host, as static libraries
#   <name>_standin, <name>_octave and <name>_matlab; qmv_add_mex picks the
#   variant that matches each of its targets (HOST_LIBRARIES <name>).
function(qmv_add_host_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${name}_standin STATIC ${ARG_SOURCES})
  target_include_directories(${name}_standin PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_standin PUBLIC qmv_host_standin ${ARG_LIBRARIES} PRIVATE qmv_common)
  set_property(GLOBAL APPEND PROPERTY QMV_STANDIN_LIBRARIES ${name}_standin)
  if(Octave_FOUND)
    add_library(${name}_octave STATIC ${ARG_SOURCES})
    target_include_directories(${name}_octave PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name}_octave PUBLIC Octave::mex ${ARG_LIBRARIES} PRIVATE qmv_common)
  endif()
  if(Matlab_FOUND)
    add_library(${name}_matlab STATIC ${ARG_SOURCES})
    target_include_directories(${name}_matlab PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    target_include_directories(${name}_matlab SYSTEM PUBLIC ${Matlab_INCLUDE_DIRS})
    target_compile_definitions(${name}_matlab PUBLIC MATLAB_MEX_FILE)
    target_link_libraries(${name}_matlab PUBLIC ${ARG_LIBRARIES} PRIVATE qmv_common)
  endif()
endfunction()

# qmv_add_computation_library(<name> SOURCES <files...> [LIBRARIES <targets...>])
#   A static library of computation that never calls the host, linked by the
#   MEX modules and by tests, fuzzers and benchmarks alike.
function(qmv_add_computation_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LIBRARIES} PRIVATE qmv_common)
  set_property(GLOBAL APPEND PROPERTY QMV_STANDIN_LIBRARIES ${name})
endfunction()

# qmv_add_mex(<name> SOURCES <files...> [LIBRARIES <targets...>] [HOST_LIBRARIES <names...>])
#   <name>_standin : OBJECT library of the module sources compiled against the
#                    stand-in host, for unit tests, fuzzers and benchmarks.
#   <name>_mex     : the Octave MEX file <build>/mex/<name>.mex (when Octave is found).
#   <name>_matlab  : the MATLAB MEX file <build>/mex-matlab/<name>.<ext> (when MATLAB is found).
#   HOST_LIBRARIES : libraries made by qmv_add_host_library; each target links
#                    the variant built for its host.
function(qmv_add_mex name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;HOST_LIBRARIES" ${ARGN})
  set(_standin_libs "")
  set(_octave_libs "")
  set(_matlab_libs "")
  foreach(lib IN LISTS ARG_HOST_LIBRARIES)
    list(APPEND _standin_libs ${lib}_standin)
    list(APPEND _octave_libs ${lib}_octave)
    list(APPEND _matlab_libs ${lib}_matlab)
  endforeach()

  add_library(${name}_standin OBJECT ${ARG_SOURCES})
  target_include_directories(${name}_standin PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_standin PUBLIC ${_standin_libs} qmv_host_standin qmv_common ${ARG_LIBRARIES})

  if(Octave_FOUND)
    add_library(${name}_mex MODULE ${ARG_SOURCES})
    set_property(GLOBAL APPEND PROPERTY QMV_MEX_TARGETS ${name}_mex)
    target_include_directories(${name}_mex PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name}_mex PRIVATE ${_octave_libs} Octave::mex qmv_common ${ARG_LIBRARIES})
    # Only mexFunction is exported (see MexExports.map); code no entry
    # reaches, such as functions only tests call, is dropped at the link.
    set(_exports ${CMAKE_SOURCE_DIR}/cmake/MexExports.map)
    target_link_options(${name}_mex PRIVATE -Wl,-Bsymbolic -Wl,--no-undefined
                        -Wl,--version-script=${_exports} -Wl,--gc-sections)
    set_property(TARGET ${name}_mex APPEND PROPERTY LINK_DEPENDS ${_exports})
    set_target_properties(${name}_mex PROPERTIES
      OUTPUT_NAME ${name} PREFIX "" SUFFIX ".mex"
      LIBRARY_OUTPUT_DIRECTORY ${QMV_MEX_OUTPUT_DIR})
    install(TARGETS ${name}_mex LIBRARY DESTINATION ${QMV_INSTALL_DIR})
  endif()

  if(Matlab_FOUND)
    matlab_add_mex(NAME ${name}_matlab SRC ${ARG_SOURCES} OUTPUT_NAME ${name}
                   LINK_TO ${_matlab_libs} ${ARG_LIBRARIES})
    target_include_directories(${name}_matlab PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name}_matlab qmv_common)
    set_target_properties(${name}_matlab PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/mex-matlab)
    install(TARGETS ${name}_matlab LIBRARY DESTINATION ${QMV_INSTALL_DIR})
  endif()
endfunction()

# qmv_add_gtest(<name> SOURCES <files...> [LIBRARIES <targets...>])
function(qmv_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} qmv_common GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE QMV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS unit TIMEOUT 600)
endfunction()

# qmv_add_octave_test(<name> SCRIPT <file.m> [TIMEOUT <seconds>])
# Runs the script in octave-cli with the MEX files, matlab/ and tests/octave/
# on the path; the test fails when the script raises an error or Octave dies.
function(qmv_add_octave_test name)
  cmake_parse_arguments(ARG "" "SCRIPT;TIMEOUT" "" ${ARGN})
  if(NOT Octave_FOUND)
    return()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  get_filename_component(script "${ARG_SCRIPT}" ABSOLUTE)
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND}
      -DOCTAVE=${Octave_CLI} -DMEX_DIR=${QMV_MEX_OUTPUT_DIR}
      -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DSCRIPT=${script}
      -P ${CMAKE_SOURCE_DIR}/cmake/RunOctaveTest.cmake)
  set_tests_properties(${name} PROPERTIES LABELS octave TIMEOUT ${ARG_TIMEOUT})
endfunction()
