# Finds Octave's MEX headers and libraries through mkoctfile, and octave-cli
# for the integration tests.
#   Octave_FOUND, Octave_MKOCTFILE, Octave_CLI, Octave_INCLUDE_DIRS,
#   Octave_LIBRARY_DIRS, Octave::mex (imported interface target)
find_program(Octave_MKOCTFILE NAMES mkoctfile)
find_program(Octave_CLI NAMES octave-cli)

if(Octave_MKOCTFILE)
  execute_process(COMMAND ${Octave_MKOCTFILE} -p INCFLAGS
                  OUTPUT_VARIABLE _incflags OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET)
  execute_process(COMMAND ${Octave_MKOCTFILE} -p OCTLIBDIR
                  OUTPUT_VARIABLE Octave_LIBRARY_DIRS OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET)
  separate_arguments(_incflags UNIX_COMMAND "${_incflags}")
  set(Octave_INCLUDE_DIRS "")
  foreach(flag IN LISTS _incflags)
    if(flag MATCHES "^-I(.+)$")
      get_filename_component(dir "${CMAKE_MATCH_1}" ABSOLUTE)
      list(APPEND Octave_INCLUDE_DIRS "${dir}")
    endif()
  endforeach()
  find_path(Octave_MEX_HEADER_DIR mex.h PATHS ${Octave_INCLUDE_DIRS} NO_DEFAULT_PATH)
  find_library(Octave_OCTINTERP_LIBRARY octinterp PATHS ${Octave_LIBRARY_DIRS})
  find_library(Octave_OCTAVE_LIBRARY octave PATHS ${Octave_LIBRARY_DIRS})
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Octave REQUIRED_VARS
  Octave_MKOCTFILE Octave_CLI Octave_MEX_HEADER_DIR
  Octave_OCTINTERP_LIBRARY Octave_OCTAVE_LIBRARY)

if(Octave_FOUND AND NOT TARGET Octave::mex)
  add_library(Octave::mex INTERFACE IMPORTED)
  set_target_properties(Octave::mex PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${Octave_MEX_HEADER_DIR}"
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${Octave_MEX_HEADER_DIR}"
    INTERFACE_LINK_LIBRARIES "${Octave_OCTINTERP_LIBRARY};${Octave_OCTAVE_LIBRARY}")
endif()
