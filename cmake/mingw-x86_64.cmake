# Cross build of the same sources as 64-bit Windows executables. Used to run the Windows test
# suite on hosts that cannot execute 32-bit user code (and therefore cannot run 32-bit Wine).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
