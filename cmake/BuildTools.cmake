# Programs that run while the project builds (bin2cpp, which embeds the assets). A native build makes them
# like any other program. A cross-build makes them with the host's compiler, in a nested build under
# build-tools/ (cmake/build-tools), so that building for another machine never needs an emulator; in the
# cross-build each name is an imported program from there.
#
#   shoreline_build_tool(NAME SOURCE...)   declares one (sources relative to the calling folder; the folder
#                                          of each source is also an include folder)
#   shoreline_build_tools_finish()         once every folder is added: sets up the nested build

function(shoreline_build_tool name)
  set(sources)
  set(dirs)
  foreach(s IN LISTS ARGN)
    get_filename_component(s "${s}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    get_filename_component(d "${s}" DIRECTORY)
    list(APPEND sources "${s}")
    list(APPEND dirs "${d}")
  endforeach()
  list(REMOVE_DUPLICATES dirs)
  if(NOT CMAKE_CROSSCOMPILING)
    add_executable(${name} ${sources})
    target_include_directories(${name} PRIVATE ${dirs})
    return()
  endif()
  list(JOIN sources "\" \"" sources)
  list(JOIN dirs "\" \"" dirs)
  set_property(GLOBAL APPEND_STRING PROPERTY SHORELINE_BUILD_TOOLS
               "add_executable(${name} \"${sources}\")\ntarget_include_directories(${name} PRIVATE \"${dirs}\")\n")
  add_executable(${name} IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION "${CMAKE_BINARY_DIR}/build-tools/${name}")
  add_dependencies(${name} shoreline_build_tools)
endfunction()

function(shoreline_build_tools_finish)
  if(NOT CMAKE_CROSSCOMPILING)
    return()
  endif()
  get_property(tools GLOBAL PROPERTY SHORELINE_BUILD_TOOLS)
  set(list_file "${CMAKE_BINARY_DIR}/build-tools/tools.cmake")
  file(CONFIGURE OUTPUT "${list_file}" CONTENT "${tools}")
  include(ExternalProject)
  # The host's compiler, whatever the toolchain file chose for the target.
  ExternalProject_Add(shoreline_build_tools
    SOURCE_DIR "${CMAKE_SOURCE_DIR}/cmake/build-tools"
    BINARY_DIR "${CMAKE_BINARY_DIR}/build-tools"
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DSHORELINE_BUILD_TOOLS_LIST=${list_file}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
endfunction()
