# The installed crash reporter: `cmake --install` of a Windows build (windows, win64) writes a
# package that another MinGW CMake project uses with
#   find_package(VantorLog CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE VantorLog::VantorLog)
#   vl_attach_data_block(app OPTIONS app.ini)
#
# Layout under the prefix:
#   include/vantorlog/<subsystem>/*.h     the headers, folders kept ("runtime/system.h")
#   lib/vantorlog/lib*.a                  the static libraries
#   lib/vantorlog/vantorlog_dialogs.rc.obj  the dialogs' templates and bitmaps (an object file)
#   libexec/vantorlog/vl_postbuild        the post-build tool, built for the build machine
#   lib/cmake/VantorLog/                  the package configuration, targets and vl_attach_data_block
#
# The crash reporter is the libraries of VL_PACKAGE_TOP and everything they link; each library
# keeps its own link items and options (the unit-keeping --undefined names, --wrap=__cxa_throw,
# the system libraries), so the link line of a program using the package is the one the tree's
# own programs get.

# The crash reporter as a program links it: its top libraries. Add a library here and the
# package installs it, everything it links, and the headers of their folders.
set(VL_PACKAGE_TOP capture_win vl_report_win vl_dialogs_win vl_sockets vl_screenshot vl_hosts_win)
if(TARGET vl_pipeline)
  list(APPEND VL_PACKAGE_TOP vl_pipeline)
endif()
if(TARGET vantorlog)
  list(APPEND VL_PACKAGE_TOP vantorlog)  # the assembled reporter: the upper seams connected
endif()

set(VL_PACKAGE_VERSION 0.1.0)

if(NOT WIN32)
  return()  # the package is Windows code; the host and fuzz builds install nothing
endif()

# Every library target that the given ones link, directly or through others, themselves included.
function(_vl_package_closure out)
  set(done "")
  set(todo ${ARGN})
  while(todo)
    list(POP_FRONT todo item)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.+)>$" "\\1" item "${item}")  # a private link
    if(NOT TARGET ${item} OR item IN_LIST done)
      continue()
    endif()
    get_target_property(type ${item} TYPE)
    if(NOT type STREQUAL "STATIC_LIBRARY" AND NOT type STREQUAL "INTERFACE_LIBRARY")
      message(FATAL_ERROR "The package holds static libraries only; ${item} is a ${type}")
    endif()
    list(APPEND done ${item})
    get_target_property(deps ${item} INTERFACE_LINK_LIBRARIES)
    if(deps)
      list(APPEND todo ${deps})  # generator expressions and system libraries are no targets
    endif()
  endwhile()
  set(${out} ${done} PARENT_SCOPE)
endfunction()

_vl_package_closure(vl_package_libraries ${VL_PACKAGE_TOP})
# The assembled reporter's library would export as VantorLog::vantorlog, a case-twin of the one
# target a program names; it goes by its role instead.
if(TARGET vantorlog)
  set_target_properties(vantorlog PROPERTIES EXPORT_NAME assembly)
endif()

# VantorLog::VantorLog: the whole crash reporter.
add_library(vl_package_reporter INTERFACE)
set_target_properties(vl_package_reporter PROPERTIES EXPORT_NAME VantorLog)
target_link_libraries(vl_package_reporter INTERFACE ${VL_PACKAGE_TOP})
target_compile_features(vl_package_reporter INTERFACE cxx_std_17)  # the headers' language

install(TARGETS vl_package_reporter ${vl_package_libraries}
  EXPORT VantorLogTargets
  ARCHIVE DESTINATION lib/vantorlog)

# The headers of every folder that holds one of the libraries.
set(header_dirs "")
foreach(lib IN LISTS vl_package_libraries)
  get_target_property(dir ${lib} SOURCE_DIR)
  list(APPEND header_dirs ${dir})
endforeach()
list(REMOVE_DUPLICATES header_dirs)
foreach(dir IN LISTS header_dirs)
  file(RELATIVE_PATH folder ${VL_ROOT_DIR}/src ${dir})
  file(GLOB headers ${dir}/*.h)
  install(FILES ${headers} DESTINATION include/vantorlog/${folder})
endforeach()

# The resource object: a static archive would never pull it in, so it lies beside the archives
# and vl_dialogs_win names it among its link items.
install(FILES $<TARGET_OBJECTS:dialogs_resources> DESTINATION lib/vantorlog
  RENAME vantorlog_dialogs.rc.obj)

# The post-build tool this build uses (built by cmake/host-tools, or VL_HOST_POSTBUILD).
_vl_postbuild_tool(vl_package_tool vl_package_tool_target)
install(PROGRAMS ${vl_package_tool} DESTINATION libexec/vantorlog RENAME vl_postbuild)
add_custom_target(vl_package)  # builds everything the package installs
add_dependencies(vl_package vl_package_reporter ${vl_package_libraries} dialogs_resources
  ${vl_package_tool_target})

include(CMakePackageConfigHelpers)
set(config_dir lib/cmake/VantorLog)
set(VL_PACKAGE_TOOL_DIR libexec/vantorlog)
configure_package_config_file(${VL_ROOT_DIR}/cmake/VantorLogConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/VantorLogConfig.cmake
  INSTALL_DESTINATION ${config_dir}
  PATH_VARS VL_PACKAGE_TOOL_DIR)
# The version check also refuses a package of the other width (CMAKE_SIZEOF_VOID_P).
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/VantorLogConfigVersion.cmake
  VERSION ${VL_PACKAGE_VERSION} COMPATIBILITY SameMinorVersion)
install(EXPORT VantorLogTargets NAMESPACE VantorLog:: DESTINATION ${config_dir})
install(FILES ${CMAKE_BINARY_DIR}/package/VantorLogConfig.cmake
              ${CMAKE_BINARY_DIR}/package/VantorLogConfigVersion.cmake
  DESTINATION ${config_dir})
install(FILES ${VL_ROOT_DIR}/cmake/PostBuild.cmake DESTINATION ${config_dir}
  RENAME VantorLogPostBuild.cmake)
