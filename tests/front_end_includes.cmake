# The command line (app/) and the Python module (python/) are front ends over the library's public headers
# (include/texsynth/): besides their own headers and system ones, they include <texsynth/...> only.
# Run as: cmake -DSOURCE_DIR=<tree> -P front_end_includes.cmake
file(GLOB sources ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/app/*.h ${SOURCE_DIR}/python/*.cpp ${SOURCE_DIR}/python/*.h)
set(faults "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} includes REGEX "^#include \"")
  file(RELATIVE_PATH name ${SOURCE_DIR} ${source})
  string(REGEX MATCH "^[a-z]+/" front_end "${name}")
  foreach(line IN LISTS includes)
    if(NOT line MATCHES "^#include \"${front_end}")
      string(APPEND faults "\n  ${name}: ${line}")
    endif()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "Front ends including internal headers (use <texsynth/...>):${faults}")
endif()
