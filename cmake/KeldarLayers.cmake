# keldar_layer_includes(<target> <path>...)
# Gives <target> an include root of its own that holds only the given
# source-tree paths (folders or single files), linked into the build tree.
# Sources include "folder/file.h"; a folder not on a target's root, nor on
# the roots of what it links, is not found, so an include that reaches up
# the layering fails to build.
function(keldar_layer_includes target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  foreach(path ${ARGN})
    get_filename_component(parent ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT EXISTS ${root}/${path})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
    endif()
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
