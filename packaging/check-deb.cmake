cmake_minimum_required(VERSION 3.19)
# Builds the Debian package from the build folder and checks, with dpkg-deb,
# that it carries what a user installs and the fields apt resolves.
#   cmake -DBUILD_DIR=... -DOUT=... -DVERSION=... -DMETAINFO=... -P check-deb.cmake
find_program(DPKG_DEB dpkg-deb)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT DPKG_DEB OR NOT DPKG_SHLIBDEPS)
  message("SKIP: dpkg-deb and dpkg-shlibdeps (dpkg-dev) are needed")
  return()
endif()

file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G DEB -B ${OUT} --config ${BUILD_DIR}/CPackConfig.cmake
                WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
file(GLOB deb ${OUT}/keldar_${VERSION}_*.deb)
if(NOT rc EQUAL 0 OR NOT deb)
  message(FATAL_ERROR "cpack failed: ${rc}\n${log}")
endif()

execute_process(COMMAND ${DPKG_DEB} --contents ${deb} OUTPUT_VARIABLE contents)
set(expected
  usr/bin/keldar
  usr/bin/keldar-generate
  usr/share/keldar/Tutorial_KELDAR.txt
  usr/share/keldar/roster.mzn
  usr/share/keldar/examples/design.txt
  usr/share/applications/keldar.desktop
  usr/share/icons/hicolor/scalable/apps/keldar.svg
  usr/share/icons/hicolor/16x16/apps/keldar.png
  usr/share/metainfo/${METAINFO}
  usr/share/man/man1/keldar.1.gz
  usr/share/man/man1/keldar-generate.1.gz
  usr/share/doc/keldar/README.md
  usr/share/doc/keldar/copyright
  usr/share/doc/keldar/changelog.gz
  usr/share/doc/keldar/docs/problem-size.png
  usr/share/doc/keldar/docs/generator.md)
foreach(f IN LISTS expected)
  if(NOT contents MATCHES " \\./${f}\n")
    message(SEND_ERROR "not in the package: ${f}")
  endif()
endforeach()
# Everything lives below /usr, and nothing of the build folder leaks in.
string(REGEX MATCHALL " \\./[^\n]*" paths "${contents}")
foreach(p IN LISTS paths)
  if(NOT p MATCHES "^ \\./(usr/.*)?$")
    message(SEND_ERROR "outside /usr: ${p}")
  endif()
endforeach()

function(field name expect)
  execute_process(COMMAND ${DPKG_DEB} --field ${deb} ${name} OUTPUT_VARIABLE value)
  if(NOT value MATCHES "${expect}")
    message(SEND_ERROR "${name}: '${value}' does not match '${expect}'")
  endif()
endfunction()
field(Package "^keldar\n$")
field(Version "^${VERSION}\n$")
field(Section "^science\n$")
# Computed from the libraries the programs link, plus the windows' font.
field(Depends "libqt6widgets6 \\(>= [0-9.]+\\)")
field(Depends "libqt6core6 \\(>= [0-9.]+\\)")
field(Depends "(^|, )fonts-liberation(,|\n)")
field(Suggests "^minizinc\n$")
field(Recommends "^xdg-utils\n$")
# The build's address, or no field when the build is given none.
if(HOMEPAGE)
  field(Homepage "^https?://")
else()
  field(Homepage "^\n$")
endif()
# A synopsis, then paragraphs for the software centre, starting afresh.
field(Description "^([^\n]+)\n KELDAR [^\n]+\n( [^\n]+\n)+ \\.\n( [^\n]+\n)+$")

# Debian's own checks: no error.  Warnings are weighed by hand.
find_program(LINTIAN lintian)
if(LINTIAN)
  execute_process(COMMAND ${LINTIAN} ${deb} OUTPUT_VARIABLE report ERROR_VARIABLE report)
  if(report MATCHES "(^|\n)E: ")
    message(SEND_ERROR "lintian finds errors:\n${report}")
  endif()
else()
  message("lintian not installed: not run")
endif()
