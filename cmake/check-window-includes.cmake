# cmake -DSOURCE_DIR=<source tree> -P check-window-includes.cmake
# Windows meet only through the program: a window's files include no other
# window's header.  (Includes that reach up a layer do not even compile; this
# catches the main window, which shares the top layer with the program.)
set(windows app/keldar generation/frmfilegeneration dialogs/frmcontinueanotherform
    dialogs/frmoutput dialogs/frmdistributiongrades)
set(faults "")
foreach(window ${windows})
  get_filename_component(folder ${window} DIRECTORY)
  get_filename_component(name ${window} NAME)
  # The main window's entries are a part of it.
  file(GLOB sources ${SOURCE_DIR}/${window}.h ${SOURCE_DIR}/${window}.cpp
       ${SOURCE_DIR}/${window}entries.cpp)
  foreach(source ${sources})
    foreach(other ${windows})
      if(NOT other STREQUAL window)
        file(STRINGS ${source} includes REGEX "^#include \"${other}\\.h\"")
        foreach(line ${includes})
          string(APPEND faults "\n  ${source}: ${line}")
        endforeach()
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "a window includes another window:${faults}")
endif()
