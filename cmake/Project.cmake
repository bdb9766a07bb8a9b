# Helpers that give every target of the project the same warnings and the same test wiring.
#
# Code that only transforms bytes and text is PORTABLE: it never includes <windows.h> and is
# built by every preset (the host preset runs it under the sanitizers). WINDOWS code is built by
# the MinGW presets only.

# The repository's root, also when this file is included by the host-tools project
# (cmake/host-tools) that a cross build configures for its post-build tool.
get_filename_component(VL_ROOT_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

function(vl_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(WIN32)
    target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
  endif()
endfunction()

function(_vl_wanted kind out)
  if(kind STREQUAL "WINDOWS" AND NOT WIN32)
    set(${out} FALSE PARENT_SCOPE)
  else()
    set(${out} TRUE PARENT_SCOPE)
  endif()
endfunction()

# vl_library(name PORTABLE|WINDOWS SOURCES ... [DEPS ...])
function(vl_library name kind)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  _vl_wanted(${kind} wanted)
  if(NOT wanted)
    return()
  endif()
  add_library(${name} STATIC ${A_SOURCES})
  # Installed, the headers keep their folders under include/vantorlog (cmake/Package.cmake), so
  # "core/trace.h" names the same header inside the tree and in a program using the package.
  target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${VL_ROOT_DIR}/src>
                                            $<INSTALL_INTERFACE:include/vantorlog>)
  target_link_libraries(${name} PUBLIC ${A_DEPS})
  vl_warnings(${name})
endfunction()

# vl_keep_unit(target symbol): every module linking the static library Target keeps the object
# that defines the C symbol (a unit that registers itself from a static object and is called by
# nobody). i686 C symbols carry a leading underscore, and an --undefined name that matches
# nothing keeps nothing, silently.
function(vl_keep_unit target symbol)
  if(NOT TARGET ${target})
    return()
  endif()
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(symbol _${symbol})
  endif()
  target_link_options(${target} INTERFACE -Wl,--undefined=${symbol})
endfunction()

# vl_executable(name WINDOWS|PORTABLE [GUI] SOURCES ... [DEPS ...])
function(vl_executable name kind)
  cmake_parse_arguments(A "GUI" "" "SOURCES;DEPS" ${ARGN})
  _vl_wanted(${kind} wanted)
  if(NOT wanted)
    return()
  endif()
  if(A_GUI AND WIN32)
    add_executable(${name} WIN32 ${A_SOURCES})
  else()
    add_executable(${name} ${A_SOURCES})
  endif()
  target_include_directories(${name} PRIVATE ${VL_ROOT_DIR}/src)
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  vl_warnings(${name})
endfunction()

# vl_test(name PORTABLE|WINDOWS SOURCES ... [DEPS ...] [NO_MAIN])
# A GoogleTest program registered with CTest; on Windows builds CTest runs it under Wine.
function(vl_test name kind)
  cmake_parse_arguments(A "NO_MAIN" "TIMEOUT" "SOURCES;DEPS" ${ARGN})
  _vl_wanted(${kind} wanted)
  if(NOT wanted)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${VL_ROOT_DIR}/src ${VL_ROOT_DIR}/tests)
  if(A_NO_MAIN)
    target_link_libraries(${name} PRIVATE ${A_DEPS} gtest)
  else()
    target_link_libraries(${name} PRIVATE ${A_DEPS} gtest_main)
  endif()
  vl_warnings(${name})
  # A test program drives the optimised libraries and is not optimised itself: it builds three
  # times faster. The programs the tests start are built as a user's program would be. On
  # Windows a test program's own code has no debug information either, unless it carries a data
  # block (vl_attach_data_block gives it back); the host keeps it for the sanitizers' reports.
  target_compile_options(${name} PRIVATE -O0 -Winvalid-pch)
  if(WIN32)
    target_compile_options(${name} PRIVATE -g0)
  endif()
  target_precompile_headers(${name} REUSE_FROM vl_test_headers)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT})
endfunction()
