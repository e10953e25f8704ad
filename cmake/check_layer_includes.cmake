# Run by the build (see ZorvLayers.cmake): fails when a file of layer LAYER includes a header
# of an area under SOURCE_ROOT that is not in ALLOWED. Areas are the folders of SOURCE_ROOT, so
# an area is guarded even before it is declared as a layer.
#   cmake -DLAYER=core -DALLOWED=core -DSOURCE_ROOT=src -DFILE_LIST=files.txt -DSTAMP=out -P this
cmake_minimum_required(VERSION 3.25)

file(GLOB areas LIST_DIRECTORIES true RELATIVE "${SOURCE_ROOT}" "${SOURCE_ROOT}/*")
file(STRINGS "${FILE_LIST}" files)

set(violations "")
foreach(file IN LISTS files)
  file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]+[\">]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">].*$" "\\1" header "${line}")
    # A relative path ("../plan/x.h") is judged by where it lands.
    if(header MATCHES "^\\.\\.?/")
      get_filename_component(dir "${file}" DIRECTORY)
      get_filename_component(resolved "${dir}/${header}" ABSOLUTE)
      file(RELATIVE_PATH header "${SOURCE_ROOT}" "${resolved}")
    endif()
    string(REGEX MATCH "^[^/]+" area "${header}")
    if(NOT header MATCHES "/" OR NOT area IN_LIST areas OR NOT IS_DIRECTORY "${SOURCE_ROOT}/${area}"
       OR area IN_LIST ALLOWED)
      continue()
    endif()
    file(READ "${file}" text)
    string(FIND "${text}" "${line}" offset)
    string(SUBSTRING "${text}" 0 ${offset} before)
    string(REGEX MATCHALL "\n" newlines "${before}")
    list(LENGTH newlines line_no)
    math(EXPR line_no "${line_no} + 1")
    file(RELATIVE_PATH shown "${SOURCE_ROOT}/.." "${file}")
    string(APPEND violations "  ${shown}:${line_no}: includes \"${header}\" from layer '${area}'\n")
  endforeach()
endforeach()

if(violations)
  string(REPLACE ";" ", " allowed_text "${ALLOWED}")
  message(FATAL_ERROR "layer '${LAYER}' may include only ${allowed_text}:\n${violations}"
                      "Move the code to a lower layer, or change the layer's DEPENDS in src/CMakeLists.txt.")
endif()
file(TOUCH "${STAMP}")
