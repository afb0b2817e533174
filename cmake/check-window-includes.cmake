# cmake -DWINDOWS_DIR=<windows/> -P check-window-includes.cmake
# Windows meet only through the program: a window's files include no other
# window's header.  (Includes that reach up a layer do not even compile.)
file(GLOB sources ${WINDOWS_DIR}/*.h ${WINDOWS_DIR}/*.cpp)
set(faults "")
foreach(source ${sources})
  get_filename_component(name ${source} NAME_WE)
  # The main window's entries are a part of it.
  string(REGEX REPLACE "entries$" "" name ${name})
  file(STRINGS ${source} includes REGEX "^#include \"windows/")
  foreach(line ${includes})
    if(NOT line STREQUAL "#include \"windows/${name}.h\"")
      string(APPEND faults "\n  ${source}: ${line}")
    endif()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "a window includes another window:${faults}")
endif()
