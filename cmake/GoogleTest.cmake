# GoogleTest from the sources that Debian's googletest package installs.
set(VL_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${VL_GOOGLETEST_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${VL_GOOGLETEST_DIR} (install Debian's googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${VL_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Like the test programs, built without optimisation (vl_test in cmake/Project.cmake).
foreach(target gtest gtest_main)
  target_compile_options(${target} PRIVATE -O0)
endforeach()

# The headers every test program reads, compiled once: each test program reuses this target's
# precompiled header (vl_test), which must therefore be built with the test programs' options.
file(WRITE ${CMAKE_BINARY_DIR}/vl_test_headers.cpp "")
add_library(vl_test_headers STATIC ${CMAKE_BINARY_DIR}/vl_test_headers.cpp)
target_link_libraries(vl_test_headers PRIVATE gtest)
target_compile_options(vl_test_headers PRIVATE -O0)
vl_warnings(vl_test_headers)
target_precompile_headers(vl_test_headers PRIVATE <gtest/gtest.h> <cstdio> <cstring> <stdexcept>
  <string> <vector>)
