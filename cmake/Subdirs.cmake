# Adds every immediate subfolder of the current folder that has a CMakeLists.txt,
# so a new area (a platform stand-in, a test group, a benchmark) needs no edit here.
file(GLOB _children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
list(SORT _children)
foreach(_child ${_children})
  if(IS_DIRECTORY ${_child} AND EXISTS ${_child}/CMakeLists.txt)
    add_subdirectory(${_child})
  endif()
endforeach()
