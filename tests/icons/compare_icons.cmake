# Runs the icon generator into OUT_DIR and requires every file it writes to be
# byte-identical to the committed copy in REF_DIR.
foreach(var MKICONS OUT_DIR REF_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "compare_icons.cmake needs -D${var}=...")
  endif()
endforeach()

# A fresh folder, so a file left over from an earlier run cannot pass for one
# the generator failed to write.
file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})
execute_process(COMMAND ${MKICONS} ${OUT_DIR} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "mkicons failed: ${rc}")
endif()

file(GLOB written RELATIVE ${OUT_DIR} ${OUT_DIR}/*)
list(SORT written)
set(expected icon1.ico icon2.ico icon3.ico icon4.ico icon5.ico)
if(NOT written STREQUAL expected)
  message(FATAL_ERROR "mkicons wrote [${written}], expected [${expected}]")
endif()

set(stale "")
foreach(name ${expected})
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT_DIR}/${name} ${REF_DIR}/${name}
    RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    list(APPEND stale ${name})
  endif()
endforeach()
if(stale)
  message(FATAL_ERROR "resources/ differs from the generator's output: ${stale}; "
                      "rebuild with `cmake --build --preset host --target icons` and commit")
endif()
