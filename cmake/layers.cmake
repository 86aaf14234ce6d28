# Layers the build enforces. Every library of the tree sees the headers of
# the libraries it links and its own, nothing else: there is no include root
# over the whole repository. A layer's include root is a folder of the build
# tree holding links to its own source folders only, so that "frame/frame.h"
# resolves in a layer that links the frame layer and nowhere below it.

# tav_expose_folders(<target> <PUBLIC|PRIVATE|INTERFACE> <folder>...)
# Puts the source folders under the include root of the target.
function(tav_expose_folders target scope)
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  file(MAKE_DIRECTORY ${root})
  foreach(folder ${ARGN})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} $<BUILD_INTERFACE:${root}>)
endfunction()

# tav_layer(<target> FOLDERS <folder>... LINKS <target>...)
# A static library from the sources of its folders, linking what it names
# (an interface library when the folders hold headers only).
function(tav_layer target)
  cmake_parse_arguments(L "" "" "FOLDERS;LINKS" ${ARGN})
  set(sources)
  foreach(folder ${L_FOLDERS})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  if(sources)
    add_library(${target} STATIC ${sources})
    tav_expose_folders(${target} PUBLIC ${L_FOLDERS})
    target_link_libraries(${target} PUBLIC ${L_LINKS} PRIVATE tav_warnings)
  else()
    # Headers only: what links it gets their folders and what they stand on.
    add_library(${target} INTERFACE)
    tav_expose_folders(${target} INTERFACE ${L_FOLDERS})
    target_link_libraries(${target} INTERFACE ${L_LINKS})
  endif()
endfunction()
