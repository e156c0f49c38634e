# A layer sees only its own folder and those of the layers below it, so a
# header is included by its bare name. A relative include that leaves the
# layer's folder ("../engine/text/uArtikel.h") would find any header of the
# tree, above the layer too: none may stand in a layer's sources.
# Usage: cmake -DSOURCE_DIR=<source tree> -P RelativeIncludes.cmake
set(layers base platform engine/text engine/script runner widgets config)
set(offenders "")
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp
       ${SOURCE_DIR}/${layer}/*.in)
  foreach(file IN LISTS files)
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"][^\">]*\\.\\.[/\\\\]")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
      string(APPEND offenders "\n  ${name}: ${line}")
    endforeach()
  endforeach()
endforeach()
if(offenders)
  message(FATAL_ERROR "Relative includes that leave their layer's folder (include the header "
                      "by its bare name, from a layer below):${offenders}")
endif()
