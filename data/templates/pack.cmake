# Zips the readable template source (a folder of XML parts) into a .dotx.
#   cmake -DSRC=data/templates/ABA -DOUT=data/templates/ABA.dotx -P data/templates/pack.cmake
if(NOT SRC OR NOT OUT)
  message(FATAL_ERROR "usage: cmake -DSRC=<folder> -DOUT=<file.dotx> -P pack.cmake")
endif()
get_filename_component(SRC "${SRC}" ABSOLUTE)
get_filename_component(OUT "${OUT}" ABSOLUTE)
file(GLOB_RECURSE parts RELATIVE "${SRC}" "${SRC}/*")
list(SORT parts)
# The content types part leads the package.
list(REMOVE_ITEM parts "[Content_Types].xml")
list(PREPEND parts "[Content_Types].xml")
get_filename_component(out_dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
file(REMOVE "${OUT}.tmp")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${OUT}.tmp" --format=zip
                        "--mtime=2026-01-01 00:00:00" -- ${parts}
                WORKING_DIRECTORY "${SRC}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "packing ${SRC} failed: ${rc}")
endif()
file(RENAME "${OUT}.tmp" "${OUT}")
