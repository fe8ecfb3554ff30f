# qel_batch_sources(<out-var> <folder> <size> <source>...)
#
# Writes batch sources into <folder>, each including up to <size> of the given sources,
# and sets <out-var> to the batch files. Sources whose headers are heavy (CLI11, JSON,
# GoogleTest) then have those headers parsed once per batch instead of once per source.
#
# A batch includes its sources by a path relative to the calling folder (which is on
# the include path of the target), not by an absolute path as CMake's own unity build
# does, so the compiler cache serves every clone of the tree. The batched sources keep
# their helpers in a namespace of their own, so that batches do not clash.
function(qel_batch_sources out_var folder size)
  set(batches)
  set(text "")
  list(LENGTH ARGN count)
  set(index 0)
  foreach(source IN LISTS ARGN)
    file(RELATIVE_PATH relative ${CMAKE_CURRENT_SOURCE_DIR} ${source})
    string(APPEND text "#include \"${relative}\"\n")
    math(EXPR index "${index} + 1")
    math(EXPR left "${index} % ${size}")
    if(left EQUAL 0 OR index EQUAL count)
      list(LENGTH batches number)
      set(batch ${folder}/batch_${number}.cpp)
      file(CONFIGURE OUTPUT ${batch} CONTENT "${text}" @ONLY)
      list(APPEND batches ${batch})
      set(text "")
    endif()
  endforeach()
  set(${out_var} ${batches} PARENT_SCOPE)
endfunction()
