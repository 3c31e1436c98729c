# Host build: the program against the recording platform layer, the icon
# generator, and every test (unit tests and checks of the Windows builds).
set(QELMNG_WIN32_DIR "" CACHE PATH "Build folder of the win32 preset")
set(QELMNG_WIN64_DIR "" CACHE PATH "Build folder of the win64 preset")

set(QELMNG_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

find_package(GTest REQUIRED)
include(GoogleTest)
enable_testing()

foreach(dir tools tests sim)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
