# The installed package as another project uses it (cmake -P, run by CTest):
# 1. `cmake --install` of this build into a fresh folder outside the build tree, then the folder
#    is moved (the package must not remember where it was installed);
#    every header's own includes lie in the package;
# 2. the sample (tests/package/sample) is configured in a fresh build folder with only that
#    prefix and the same MinGW toolchain file, and built; none of its build files may name this
#    build tree or the project's sources, and every unit its link line keeps is in the program;
# 3. the sample's programs (plain main linked -static, the same on the runtime DLLs, WinMain)
#    run under Wine: the exception thrown three calls deep and caught by nobody ends each with
#    exit code 1 and, when the build has the notification pipeline (EXPECT_LOG), lands once in
#    the log the sample's options name, next to the program; so does the static one's fault.
#
# Variables: BUILD_DIR, SOURCE_DIR, TOOLCHAIN, GENERATOR, MAKE_PROGRAM, WINE_RUN, EXPECT_LOG.

# Runs a command that must succeed; its output is left in `out`.
function(check_run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

if(DEFINED ENV{TMPDIR} AND IS_DIRECTORY "$ENV{TMPDIR}")
  set(temp "$ENV{TMPDIR}")
else()
  set(temp /tmp)
endif()
string(RANDOM LENGTH 8 tag)
set(work "${temp}/vantorlog-package-${tag}")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")
message(STATUS "Working in ${work}")

# 1. Install, then move the prefix.
check_run("Installing the package" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${work}/staged")
file(RENAME "${work}/staged" "${work}/prefix")
set(prefix "${work}/prefix")
foreach(file lib/cmake/VantorLog/VantorLogConfig.cmake libexec/vantorlog/vl_postbuild
             lib/vantorlog/vantorlog_dialogs.rc.obj include/vantorlog/runtime/system.h)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "The package lacks ${file}")
  endif()
endforeach()

# Every header the package holds finds the headers it includes in the package.
file(GLOB_RECURSE headers RELATIVE "${prefix}/include/vantorlog" "${prefix}/include/vantorlog/*.h")
foreach(header IN LISTS headers)
  file(STRINGS "${prefix}/include/vantorlog/${header}" includes REGEX "^#include \"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
    if(NOT EXISTS "${prefix}/include/vantorlog/${included}")
      message(FATAL_ERROR "${header} includes ${included}, which the package lacks")
    endif()
  endforeach()
endforeach()

# 2. Configure and build the sample against the moved prefix.
set(build "${work}/build")
check_run("Configuring the sample" ${CMAKE_COMMAND} -S "${SOURCE_DIR}/tests/package/sample"
  -B "${build}" -G "${GENERATOR}" "-DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}"
  "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}" "-DCMAKE_PREFIX_PATH=${prefix}"
  -DCMAKE_BUILD_TYPE=RelWithDebInfo)
check_run("Building the sample" ${CMAKE_COMMAND} --build "${build}")

file(GLOB_RECURSE build_files "${build}/CMakeCache.txt" "${build}/*.make" "${build}/*.txt"
     "${build}/*.rsp" "${build}/*.cmake" "${build}/*.ninja")
foreach(file IN LISTS build_files)
  file(READ "${file}" text)
  foreach(forbidden "${BUILD_DIR}" "${SOURCE_DIR}/src")
    string(FIND "${text}" "${forbidden}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${file} names ${forbidden}: the sample reached into the project")
    endif()
  endforeach()
endforeach()

# Every unit the package's link options keep (--undefined) is in the program: a name that
# matches no symbol (an i686 name without its underscore) keeps nothing and says nothing.
file(STRINGS "${build}/CMakeCache.txt" nm_line REGEX "^CMAKE_NM:")
string(REGEX REPLACE "^[^=]*=" "" nm "${nm_line}")
check_run("Listing the sample's symbols" "${nm}" "${build}/crash_sample.exe")
set(symbols "${out}")
set(link_text "")
foreach(file "${build}/CMakeFiles/crash_sample.dir/link.txt" "${build}/build.ninja")
  if(EXISTS "${file}")
    file(READ "${file}" text)
    string(APPEND link_text "${text}")
  endif()
endforeach()
string(REGEX MATCHALL "--undefined=[A-Za-z0-9_]+" kept "${link_text}")
list(REMOVE_DUPLICATES kept)
if(NOT kept)
  message(FATAL_ERROR "The sample's link line keeps no unit")
endif()
foreach(option IN LISTS kept)
  string(REPLACE "--undefined=" "" symbol "${option}")
  if(NOT symbols MATCHES "[0-9a-f]+ [BDT] ${symbol}\n")
    message(FATAL_ERROR "The link option ${option} keeps nothing: no symbol ${symbol}")
  endif()
endforeach()

# 3. Run it under Wine (the project build's prefix when CTest runs outside the test script).
if(NOT DEFINED ENV{WINEPREFIX})
  set(ENV{WINEPREFIX} "${BUILD_DIR}/wineprefix")
endif()
# Each program: static console, console on the runtime DLLs, GUI with its own WinMain.
foreach(program crash_sample crash_sample_shared gui_sample)
  set(exe "${build}/${program}.exe")
  set(log "${build}/crash_sample.vlf")
  file(REMOVE "${log}")
  execute_process(COMMAND "${WINE_RUN}" "${exe}" WORKING_DIRECTORY "${build}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
  if(NOT rc EQUAL 1)
    message(FATAL_ERROR "${program} ended with ${rc}, not 1\nout: ${out}\nerr: ${err}")
  endif()
  if(NOT EXPECT_LOG)
    continue()
  endif()
  if(NOT EXISTS "${log}")
    message(FATAL_ERROR "${program} wrote no log ${log}\nout: ${out}")
  endif()
  file(READ "${log}" entry)
  string(FIND "${entry}" "VantorLog " at)
  if(NOT at EQUAL 0)
    message(FATAL_ERROR "${program}'s log does not start with an entry:\n${entry}")
  endif()
  # The message comes through the program's own class (its vtable, not the reporter's), and the
  # entry is there once: the reporter started once.
  string(REGEX MATCHALL "sample: The sample's settings are missing" messages "${entry}")
  string(REGEX MATCHALL "VantorLog " entries "${entry}")
  list(LENGTH entries count)
  if(NOT messages OR NOT count EQUAL 1)
    message(FATAL_ERROR "${program}'s log lacks its one entry with the message:\n${entry}")
  endif()
  string(FIND "${entry}" "${program}.exe" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${program}'s log entry does not name the program:\n${entry}")
  endif()
  # The call stack: the thrower, then its callers, each in its source (the package's post-build
  # tool gave the program its debug information).
  set(last -1)
  foreach(procedure ReadSettings OpenSession MainBlock)
    string(REGEX MATCH "\\|(main|gui)\\.cpp *\\|[^|\n]*\\|${procedure} +\\|" row "${entry}")
    string(FIND "${entry}" "${row}" at)
    if(NOT row OR at LESS_EQUAL last)
      message(FATAL_ERROR "${program}'s call stack lacks ${procedure} after its callee:\n${entry}")
    endif()
    set(last ${at})
  endforeach()
endforeach()

# A fault in a plain main: reported through the last-chance filter.
if(EXPECT_LOG)
  file(REMOVE "${build}/crash_sample.vlf")
  execute_process(COMMAND "${WINE_RUN}" "${build}/crash_sample.exe" fault
    WORKING_DIRECTORY "${build}" RESULT_VARIABLE rc OUTPUT_VARIABLE out TIMEOUT 120)
  file(READ "${build}/crash_sample.vlf" entry)
  string(FIND "${entry}" "Access violation" at)
  if(NOT rc EQUAL 1 OR at EQUAL -1)
    message(FATAL_ERROR "The fault ended with ${rc}, its log:\n${entry}")
  endif()
endif()

file(REMOVE_RECURSE "${work}")  # kept above when a check fails, for a look
