# Installs the build into a scratch prefix and checks that everything a user
# starts or opens is where the program and the desktop look for it.
file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

set(expected
  ${BINDIR}/keldar
  ${BINDIR}/keldar-generate
  ${DATADIR}/keldar/Tutorial_KELDAR.txt
  ${DATADIR}/keldar/roster.mzn
  ${DATADIR}/keldar/rules/week.dzn
  ${DATADIR}/keldar/rules/fourweeks.dzn
  ${DATADIR}/keldar/rules/rotation.dzn
  ${DATADIR}/applications/keldar.desktop
  ${DATADIR}/icons/hicolor/scalable/apps/keldar.svg
  ${DATADIR}/icons/hicolor/48x48/apps/keldar.png
  ${DATADIR}/metainfo/${APPSTREAM_ID}.metainfo.xml
  ${MANDIR}/man1/keldar.1.gz
  ${MANDIR}/man1/keldar-generate.1.gz
  ${DATADIR}/doc/keldar/README.md)
foreach(f IN LISTS expected)
  if(NOT EXISTS ${STAGE}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

# The menu entry starts the program by the name installed on the path and
# names the icon by the name installed in the icon theme.
file(STRINGS ${STAGE}/${DATADIR}/applications/keldar.desktop exec REGEX "^Exec=")
file(STRINGS ${STAGE}/${DATADIR}/applications/keldar.desktop icon REGEX "^Icon=")
if(NOT exec STREQUAL "Exec=keldar" OR NOT icon STREQUAL "Icon=keldar")
  message(FATAL_ERROR "desktop entry does not match the installation: ${exec} ${icon}")
endif()

# README pictures must ship with it, or the installed README shows holes.
file(STRINGS ${STAGE}/${DATADIR}/doc/keldar/README.md pictures REGEX "!\\[[^]]*\\]\\(docs/")
foreach(line IN LISTS pictures)
  string(REGEX MATCH "docs/[^)]+" picture "${line}")
  if(NOT EXISTS ${STAGE}/${DATADIR}/doc/keldar/${picture})
    message(FATAL_ERROR "README shows a picture that is not installed: ${picture}")
  endif()
endforeach()
file(REMOVE_RECURSE ${STAGE})
