# vl_attach_data_block(target [OPTIONS file.ini] [TRAILER] [RESERVE bytes])
#
# Gives a Windows target its crash-reporter data block after every link: the post-build tool
# reads the linked module's DWARF debug information (build it with -g) and the options file and
# stores the block in the module. Nothing of the module moves:
# - by default the target gets a placeholder resource RCDATA "VLDATA" of RESERVE bytes (default
#   1048576) at link time, which the tool overwrites in place;
# - TRAILER appends the block to the file instead (no placeholder, no size limit).
# Changing the options file relinks the target, so the block follows it.
#
# The tool runs on the build machine. VL_HOST_POSTBUILD names a ready tool; when it is empty, a
# native build uses its own vl_postbuild target and a cross build builds the tool once with the
# build machine's compiler (cmake/host-tools, an external project). The installed package ships
# this file and its own copy of the tool, used while VL_HOST_POSTBUILD is empty
# (cmake/VantorLogConfig.cmake.in).

set(VL_HOST_POSTBUILD "" CACHE FILEPATH "A post-build tool built for the build machine (empty: build one)")
set(VL_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools
    CACHE PATH "Where a cross build builds its post-build tool (one folder may serve several builds)")

function(_vl_postbuild_tool out_command out_target)
  get_property(packaged GLOBAL PROPERTY VL_PACKAGE_POSTBUILD)
  if(VL_HOST_POSTBUILD OR packaged)
    if(NOT VL_HOST_POSTBUILD)
      set(VL_HOST_POSTBUILD ${packaged})
    endif()
    set(${out_command} ${VL_HOST_POSTBUILD} PARENT_SCOPE)
    set(${out_target} "" PARENT_SCOPE)
    return()
  endif()
  if(NOT CMAKE_CROSSCOMPILING)
    set(${out_command} $<TARGET_FILE:vl_postbuild> PARENT_SCOPE)
    set(${out_target} vl_postbuild PARENT_SCOPE)
    return()
  endif()
  set(dir ${VL_HOST_TOOLS_DIR})
  set(tool ${dir}/tools/vl_postbuild)
  if(NOT TARGET vl_host_tools)
    include(ExternalProject)
    # The environment's compilers, not the cross toolchain. Builds of both widths may share the
    # folder (the presets do) and may run at once: the lock lets one build it, the other then
    # finds it up to date.
    set(lock flock ${dir}.lock)
    ExternalProject_Add(vl_host_tools
      SOURCE_DIR ${VL_ROOT_DIR}/cmake/host-tools
      BINARY_DIR ${dir}
      CONFIGURE_COMMAND ${lock} ${CMAKE_COMMAND} -S <SOURCE_DIR> -B ${dir} -G ${CMAKE_GENERATOR}
                        -DCMAKE_BUILD_TYPE=Release
      BUILD_COMMAND ${lock} ${CMAKE_COMMAND} --build ${dir}
      INSTALL_COMMAND ""
      BUILD_ALWAYS ON
      BUILD_BYPRODUCTS ${tool}
      USES_TERMINAL_BUILD OFF)
  endif()
  set(${out_command} ${tool} PARENT_SCOPE)
  set(${out_target} vl_host_tools PARENT_SCOPE)
endfunction()

function(vl_attach_data_block target)
  cmake_parse_arguments(A "TRAILER" "OPTIONS;RESERVE" "" ${ARGN})
  if(NOT WIN32)
    return()  # only Windows modules carry a block
  endif()
  _vl_postbuild_tool(tool tool_target)
  # The block is made from the module's debug information (a test program has none of its own
  # otherwise).
  target_compile_options(${target} PRIVATE -g)
  set(args attach $<TARGET_FILE:${target}>)
  if(A_OPTIONS)
    get_filename_component(ini ${A_OPTIONS} ABSOLUTE)
    list(APPEND args --options ${ini})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${ini})
  endif()
  if(A_TRAILER)
    list(APPEND args --trailer)
  else()
    if(NOT A_RESERVE)
      # Room for the debug information of a program carrying the whole crash reporter.
      set(A_RESERVE 1048576)
    endif()
    # The placeholder's bytes do not matter, only their number.
    set(bin ${CMAKE_CURRENT_BINARY_DIR}/${target}_vldata_${A_RESERVE}.bin)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_vldata.rc)
    if(NOT EXISTS ${bin})
      string(REPEAT "." ${A_RESERVE} filler)
      file(WRITE ${bin} "${filler}")
    endif()
    file(CONFIGURE OUTPUT ${rc} CONTENT "VLDATA RCDATA \"${bin}\"\n")
    target_sources(${target} PRIVATE ${rc})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${tool} ${args}
    COMMENT "Placing the crash reporter's data block in ${target}"
    VERBATIM)
  if(tool_target)
    add_dependencies(${target} ${tool_target})
  endif()
endfunction()
