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
  ${DATADIR}/keldar/examples/design.txt
  ${DATADIR}/keldar/examples/Input_data_KELDAR.TXT
  ${DATADIR}/applications/keldar.desktop
  ${DATADIR}/icons/hicolor/scalable/apps/keldar.svg
  ${DATADIR}/icons/hicolor/48x48/apps/keldar.png
  ${DATADIR}/metainfo/${APPSTREAM_ID}.metainfo.xml
  ${MANDIR}/man1/keldar.1.gz
  ${MANDIR}/man1/keldar-generate.1.gz
  ${DATADIR}/bash-completion/completions/keldar-generate
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

# The pictures and pages the README and the installed pages link to must ship
# with them, or the installed documentation shows holes (the README's links
# to the source tree's own ARCHITECTURE.md and CHANGELOG.md aside).
set(docdir ${STAGE}/${DATADIR}/doc/keldar)
file(GLOB pages ${docdir}/README.md ${docdir}/docs/*.md)
foreach(page IN LISTS pages)
  get_filename_component(from ${page} DIRECTORY)
  file(STRINGS ${page} lines REGEX "\\]\\([^):#]+\\.(md|png|svg|txt)[)#]")
  foreach(line IN LISTS lines)
    # Brackets out of the way: a CMake list does not split inside [ ].
    string(REPLACE "[" "<" line "${line}")
    string(REPLACE "]" ">" line "${line}")
    string(REGEX MATCHALL ">\\([^):#]+\\.(md|png|svg|txt)[)#]" links "${line}")
    foreach(link IN LISTS links)
      string(REGEX REPLACE "^>\\(|[)#]$" "" target "${link}")
      if(NOT target MATCHES "^[A-Z]+[A-Za-z]*\\.md$" AND NOT EXISTS ${from}/${target})
        message(FATAL_ERROR "${page} links to ${target}, which is not installed")
      endif()
    endforeach()
  endforeach()
endforeach()
foreach(page generator designs-and-clusters solving formats performance)
  if(NOT EXISTS ${docdir}/docs/${page}.md)
    message(FATAL_ERROR "not installed: doc/keldar/docs/${page}.md")
  endif()
endforeach()
file(REMOVE_RECURSE ${STAGE})
