# Writes OUT from the template IN with the commit the source tree SOURCE is
# at; the file changes only when the commit does, so only it is compiled
# again.
execute_process(COMMAND git -C ${SOURCE} describe --always --dirty --abbrev=12
                OUTPUT_VARIABLE KELDAR_BUILD_ID OUTPUT_STRIP_TRAILING_WHITESPACE
                ERROR_QUIET RESULT_VARIABLE failed)
if(failed OR KELDAR_BUILD_ID STREQUAL "")
  set(KELDAR_BUILD_ID "unknown")
endif()
configure_file(${IN} ${OUT} @ONLY)
