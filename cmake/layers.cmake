# The layers of the program, lowest first, and the folders each one builds on.
#
# This table is the one record of the architecture. Every folder's library
# links the libraries of the folders named here for it (velmora_layer below),
# and the layering test (check_layers.cmake, run by ctest) fails when a source
# includes a header from a folder that is neither its own nor one it may use.
# A folder may use the folders it names and everything those may use; a folder
# may only name folders listed before it, so neither graph can have a circle.

set(VELMORA_LAYERS
  core/base core/data core/world core/ai core/rules core/bot core/replay core/net
  web
  server/views server/service server/online server/client server
  tools)

set(VELMORA_USES_core/base)
set(VELMORA_USES_core/data core/base)
set(VELMORA_USES_core/world core/data)
set(VELMORA_USES_core/ai core/world)
set(VELMORA_USES_core/rules core/ai)
set(VELMORA_USES_core/bot core/rules)
set(VELMORA_USES_core/replay core/rules)
set(VELMORA_USES_core/net core/replay)
set(VELMORA_USES_web core/base)
set(VELMORA_USES_server/views core/rules web)
set(VELMORA_USES_server/service server/views core/bot core/replay)
set(VELMORA_USES_server/online server/service core/net)
set(VELMORA_USES_server/client server/service core/net)
set(VELMORA_USES_server server/online server/client)
set(VELMORA_USES_tools web)

# The folders `folder` may use: those it names and, in turn, theirs.
function(velmora_layer_allowed folder out)
  set(allowed)
  set(todo ${VELMORA_USES_${folder}})
  while(todo)
    list(POP_FRONT todo next)
    if(NOT next IN_LIST allowed)
      list(APPEND allowed ${next})
      list(APPEND todo ${VELMORA_USES_${next}})
    endif()
  endwhile()
  list(SORT allowed)
  set(${out} ${allowed} PARENT_SCOPE)
endfunction()

# The library of the folder whose CMakeLists calls this: the folder's .cpp
# files (less EXCLUDE, plus SOURCES), linked to the libraries of the folders
# it builds on and to nothing else. Lower layers must be added first.
function(velmora_layer library)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;EXCLUDE")
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT folder IN_LIST VELMORA_LAYERS)
    message(FATAL_ERROR "${folder} is not in the layer table (cmake/layers.cmake)")
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(excluded IN LISTS arg_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  add_library(${library} STATIC ${sources} ${arg_SOURCES})
  target_include_directories(${library} PUBLIC ${PROJECT_SOURCE_DIR})
  foreach(use IN LISTS VELMORA_USES_${folder})
    get_property(used GLOBAL PROPERTY VELMORA_LIBRARY_${use})
    if(NOT used)
      message(FATAL_ERROR "${folder} builds on ${use}, whose library is not added yet")
    endif()
    target_link_libraries(${library} PUBLIC ${used})
  endforeach()
  set_property(GLOBAL PROPERTY VELMORA_LIBRARY_${folder} ${library})
endfunction()
