# Windows builds (win32 product, win64 for Wine): the program, the unit
# library's import library, the simulated library and the Windows-side test
# helpers.
enable_language(RC)

set(CMAKE_CXX_FLAGS_MINSIZEREL "-Os")
# Only system DLLs at run time: no libgcc, libstdc++ or winpthread DLL.
set(QELMNG_WIN_LINK_FLAGS -static -static-libgcc -static-libstdc++ -s)

# Import library for TALVIK.dll with plain, undecorated names. On 32-bit the
# stdcall names carry @n and -k drops it from the imported name; x86-64 has
# one calling convention and no decoration, so the @n must go from the list.
set(TALVIK_DEF ${PROJECT_SOURCE_DIR}/include/TALVIK.def)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  file(READ ${TALVIK_DEF} talvik_def)
  string(REGEX REPLACE "@[0-9]+" "" talvik_def "${talvik_def}")
  set(TALVIK_DEF ${CMAKE_CURRENT_BINARY_DIR}/TALVIK64.def)
  file(WRITE ${TALVIK_DEF} "${talvik_def}")
endif()
set(TALVIK_IMPLIB ${CMAKE_CURRENT_BINARY_DIR}/libTALVIK.a)
add_custom_command(
  OUTPUT ${TALVIK_IMPLIB}
  COMMAND ${CMAKE_DLLTOOL} -d ${TALVIK_DEF} -k -l ${TALVIK_IMPLIB}
  DEPENDS ${TALVIK_DEF} ${PROJECT_SOURCE_DIR}/include/TALVIK.def
  COMMENT "Import library for TALVIK.dll")
add_custom_target(talvik_implib DEPENDS ${TALVIK_IMPLIB})
add_library(TALVIK_import STATIC IMPORTED GLOBAL)
set_target_properties(TALVIK_import PROPERTIES IMPORTED_LOCATION ${TALVIK_IMPLIB})
add_dependencies(TALVIK_import talvik_implib)

add_executable(qelmng WIN32 src/qelmng.cpp resources/qelmng.rc)
target_include_directories(qelmng PRIVATE include)
target_link_libraries(qelmng PRIVATE TALVIK_import)
target_link_options(qelmng PRIVATE ${QELMNG_WIN_LINK_FLAGS})
add_dependencies(qelmng talvik_implib)

foreach(dir sim tests/win)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()

# The package: qelmng-1.21-win32.zip (or -win64), made with
# `cmake --build --preset win32 --target package`. The program at the top,
# the Windows users' README with Windows line ends, and the simulated
# library kept apart so it is never mistaken for the real one.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QELMNG_ARCH win64)
else()
  set(QELMNG_ARCH win32)
endif()
file(READ ${PROJECT_SOURCE_DIR}/packaging/README.txt readme_txt)
string(REPLACE "\n" "\r\n" readme_txt "${readme_txt}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/README.txt "${readme_txt}")
install(TARGETS qelmng RUNTIME DESTINATION .)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
if(TARGET TALVIK)
  install(FILES $<TARGET_FILE:TALVIK> DESTINATION simulator)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME qelmng)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME qelmng-${PROJECT_VERSION}-${QELMNG_ARCH})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
