cmake_minimum_required(VERSION 3.19)
# CITATION.cff holds what the top level of the Citation File Format 1.2.0
# schema requires and allows, in the forms it allows, and names the version,
# release date, licence and address the build does.
#   cmake -DCITATION=... -DVERSION=... -DDATE=... -DHOMEPAGE=... -P check-citation.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/KeldarCitation.cmake)
keldar_read_citation(${CITATION} cff)

set(allowed abstract authors cff-version commit contact date-released doi identifiers keywords
    license license-url message preferred-citation references repository repository-artifact
    repository-code title type url version)
foreach(key authors cff-version message title)
  if(NOT key IN_LIST cff_KEYS)
    message(SEND_ERROR "a required key is missing: ${key}")
  endif()
endforeach()
set(seen)
foreach(key IN LISTS cff_KEYS)
  if(NOT key IN_LIST allowed)
    message(SEND_ERROR "not a key of the format: ${key}")
  elseif(key IN_LIST seen)
    message(SEND_ERROR "given twice: ${key}")
  endif()
  list(APPEND seen ${key})
endforeach()

function(expect key value pattern)
  if(NOT value MATCHES "${pattern}")
    message(SEND_ERROR "${key}: '${value}' does not match '${pattern}'")
  endif()
endfunction()
expect(cff-version "${cff_CFF_VERSION}" "^1\\.2\\.0$")
expect(message "${cff_MESSAGE}" ".")
expect(title "${cff_TITLE}" ".")
expect(type "${cff_TYPE}" "^(software|dataset)$")
set(d "[0-9][0-9][0-9][0-9]-(0[1-9]|1[012])-(0[1-9]|[12][0-9]|3[01])")
expect(date-released "${cff_DATE_RELEASED}" "^${d}$")
if(NOT "${cff_URL}" STREQUAL "")
  expect(url "${cff_URL}" "^(https|http|ftp|sftp)://.+")
endif()
if(NOT cff_AUTHORS)
  message(SEND_ERROR "no author named")
endif()
# What the build says of itself.
expect(version "${cff_VERSION}" "^${VERSION}$")
expect(date-released "${cff_DATE_RELEASED}" "^${DATE}$")
expect(license "${cff_LICENSE}" "^Apache-2\\.0$")
# The build's address, or none when the build is given none.
if(NOT "${cff_URL}" STREQUAL "${HOMEPAGE}")
  message(SEND_ERROR "url: '${cff_URL}', but KELDAR_HOMEPAGE is '${HOMEPAGE}'")
endif()
