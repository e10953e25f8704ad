# One static library per source area under src/, and a build step that stops a layer from
# including a layer it does not depend on. Every area shares the include root src/, so the
# compiler alone would let src/core include "plan/...": the check is what keeps the layering.
#
#   zorv_add_layer(NAME [DEPENDS lower ...])
#
# builds src/NAME as zorv_NAME, links the lower layers and lets NAME include itself and
# everything below it (DEPENDS is followed transitively). Declare lower layers first. An area
# with no sources yet is skipped; its declaration still guards the others against it.

set(ZORV_SOURCE_ROOT "${PROJECT_SOURCE_DIR}/src")
set(ZORV_LAYER_CHECK_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/check_layer_includes.cmake")

function(zorv_add_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "DEPENDS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "zorv_add_layer(${name}): unexpected arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()

  get_property(declared GLOBAL PROPERTY ZORV_LAYERS_DECLARED)
  set(allowed ${name})
  foreach(dep IN LISTS arg_DEPENDS)
    if(NOT dep IN_LIST declared)
      message(FATAL_ERROR "zorv_add_layer(${name}): '${dep}' is not declared yet; declare lower layers first")
    endif()
    get_property(dep_allowed GLOBAL PROPERTY ZORV_LAYER_ALLOWED_${dep})
    list(APPEND allowed ${dep_allowed})
  endforeach()
  list(REMOVE_DUPLICATES allowed)
  set_property(GLOBAL APPEND PROPERTY ZORV_LAYERS_DECLARED ${name})
  set_property(GLOBAL PROPERTY ZORV_LAYER_ALLOWED_${name} ${allowed})

  set(dir "${ZORV_SOURCE_ROOT}/${name}")
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS "${dir}/*.h")
  if(NOT sources AND NOT headers)
    return()
  endif()

  set(target zorv_${name})
  if(sources)
    add_library(${target} STATIC ${sources})
    set(scope PUBLIC)
  else()
    add_library(${target} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(${target} ${scope} "${ZORV_SOURCE_ROOT}")
  foreach(dep IN LISTS arg_DEPENDS)
    if(TARGET zorv_${dep})
      target_link_libraries(${target} ${scope} zorv_${dep})
    endif()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY ZORV_LAYERS ${target})

  zorv_check_includes(${name} "${allowed}" ${sources} ${headers})
  if(sources)
    add_dependencies(${target} ${target}_includes)
  endif()
endfunction()

# Adds the target NAME_includes to the build: it reads the #include lines of the files of area
# NAME again whenever one of them changes, and fails on an include of an area outside ALLOWED.
# The compile steps of the layer wait for it, so a bad include fails before any compiler error.
function(zorv_check_includes name allowed)
  set(files ${ARGN})
  set(target zorv_${name}_includes)
  set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${target}.stamp")
  set(list_file "${CMAKE_CURRENT_BINARY_DIR}/${target}.files")
  string(REPLACE ";" "\n" file_lines "${files}")
  file(CONFIGURE OUTPUT "${list_file}" CONTENT "${file_lines}\n" @ONLY)
  add_custom_command(
    OUTPUT "${stamp}"
    COMMAND "${CMAKE_COMMAND}" "-DLAYER=${name}" "-DALLOWED=${allowed}" "-DSOURCE_ROOT=${ZORV_SOURCE_ROOT}"
            "-DFILE_LIST=${list_file}" "-DSTAMP=${stamp}" -P "${ZORV_LAYER_CHECK_SCRIPT}"
    DEPENDS ${files} "${list_file}" "${ZORV_LAYER_CHECK_SCRIPT}"
    COMMENT "Checking the includes of layer ${name}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${stamp}")
endfunction()

# Every declared layer that exists, for the targets that sit on top of all of them.
function(zorv_layer_targets out)
  get_property(targets GLOBAL PROPERTY ZORV_LAYERS)
  set(${out} ${targets} PARENT_SCOPE)
endfunction()
