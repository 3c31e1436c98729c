# Builds the product the way the mingw32 preset builds it on Windows, in an
# MSYS2 MINGW32 shell, and checks the result like the cross-built product:
#  - the sources as a Windows checkout gives them, with CRLF line ends;
#  - the preset's own generator and cache variables, no toolchain file;
#  - the tools found on the path by their plain names (gcc, g++, windres,
#    dlltool): here a folder of plain-named links to the i686 cross tools.
# Only the system name is given on top, as a Windows host gives it itself.
# Usage: cmake -DSOURCE=<repo> -DWORK=<dir> -DCHECK=<check_product.sh>
#              -P check_native_preset.cmake
cmake_minimum_required(VERSION 3.20)

function(fail msg)
  message(FATAL_ERROR "FAIL: ${msg}")
endfunction()

# The preset as written in CMakePresets.json.
file(READ ${SOURCE}/CMakePresets.json presets)
string(JSON count LENGTH "${presets}" configurePresets)
math(EXPR last "${count} - 1")
set(preset "")
foreach(i RANGE ${last})
  string(JSON name GET "${presets}" configurePresets ${i} name)
  if(name STREQUAL "mingw32")
    string(JSON preset GET "${presets}" configurePresets ${i})
  endif()
endforeach()
if(NOT preset)
  fail("no mingw32 configure preset")
endif()
string(JSON generator GET "${preset}" generator)
string(JSON toolchain ERROR_VARIABLE no_toolchain GET "${preset}" toolchainFile)
if(NOT no_toolchain)
  fail("the mingw32 preset names a toolchain file (${toolchain}); a native shell has none")
endif()
set(cache_args "")
string(JSON nvars LENGTH "${preset}" cacheVariables)
math(EXPR lastvar "${nvars} - 1")
foreach(i RANGE ${lastvar})
  string(JSON var MEMBER "${preset}" cacheVariables ${i})
  string(JSON value GET "${preset}" cacheVariables ${var})
  list(APPEND cache_args "-D${var}=${value}")
endforeach()
message(STATUS "mingw32 preset: ${generator}; ${cache_args}")

# A Windows checkout: every text file with CRLF.
file(REMOVE_RECURSE ${WORK})
set(src ${WORK}/src)
file(GLOB_RECURSE files RELATIVE ${SOURCE}
  ${SOURCE}/CMakeLists.txt ${SOURCE}/cmake/* ${SOURCE}/include/* ${SOURCE}/src/*
  ${SOURCE}/resources/* ${SOURCE}/sim/* ${SOURCE}/packaging/* ${SOURCE}/tests/win/* ${SOURCE}/tests/header/*)
foreach(f ${files})
  if(f MATCHES "\\.(ico|png)$")
    configure_file(${SOURCE}/${f} ${src}/${f} COPYONLY)
  else()
    file(READ ${SOURCE}/${f} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${src}/${f} "${text}")
  endif()
endforeach()

# MSYS2's /mingw32/bin: the i686 tools under their plain names.
set(bin ${WORK}/bin)
file(MAKE_DIRECTORY ${bin})
file(GLOB tools /usr/bin/i686-w64-mingw32-*)
foreach(tool ${tools})
  get_filename_component(name ${tool} NAME)
  string(REGEX REPLACE "^i686-w64-mingw32-" "" plain ${name})
  # Debian names the compilers ...-gcc-win32 / -posix beside the plain links.
  if(NOT plain MATCHES "-(win32|posix)$")
    file(CREATE_LINK ${tool} ${bin}/${plain} SYMBOLIC)
  endif()
endforeach()
foreach(tool gcc g++ windres dlltool)
  if(NOT EXISTS ${bin}/${tool})
    fail("no i686-w64-mingw32-${tool} to stand in for MSYS2's ${tool}")
  endif()
endforeach()
set(ENV{PATH} "${bin}:$ENV{PATH}")

set(out ${WORK}/build)
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${src} -B ${out} -G ${generator}
          -DCMAKE_SYSTEM_NAME=Windows ${cache_args}
  RESULT_VARIABLE rc)
if(rc)
  fail("configure exited ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${out} RESULT_VARIABLE rc)
if(rc)
  fail("build exited ${rc}")
endif()

execute_process(COMMAND bash ${CHECK} ${out}/qelmng.exe RESULT_VARIABLE rc)
if(rc)
  fail("the natively configured qelmng.exe fails the product check")
endif()

# The users' README goes out with CRLF, once, whatever the checkout gave.
# Byte by byte, as hex pairs: a text read would hide the CRs.
file(READ ${out}/README.txt readme HEX)
string(REGEX REPLACE "(..)" " \\1" readme "${readme}")
string(FIND "${readme}" " 0d 0d" doubled)
if(NOT doubled EQUAL -1)
  fail("README.txt has a doubled CR")
endif()
string(REPLACE " 0d 0a" "" bare "${readme}")
string(FIND "${bare}" " 0a" lone)
if(NOT lone EQUAL -1)
  fail("README.txt has a line end without CR")
endif()
message(STATUS "native mingw32 build: product and README.txt line ends good")
