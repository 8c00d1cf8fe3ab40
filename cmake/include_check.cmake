# Run by the include check test: cmake -DSOURCE_DIR=<tree> -DMANIFEST=<file>
# -P include_check.cmake. The manifest, written by ldapcgi_include_check(),
# names each file of a library with the folders it may include from; every
# #include "folder/name" outside them is printed, and the run fails.
cmake_minimum_required(VERSION 3.24)
set(undeclared 0)

function(check_includes library file allowed)
  file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[^\"]*\"([^\"]*)/[^/\"]*\".*$" "\\1" folder "${line}")
    if(NOT folder IN_LIST allowed)
      message("${file}: ${line}: ${library} does not declare a library of ${folder}/")
      math(EXPR count "${undeclared} + 1")
      set(undeclared ${count} PARENT_SCOPE)
    endif()
  endforeach()
endfunction()

include(${MANIFEST})
if(undeclared GREATER 0)
  message(FATAL_ERROR "${undeclared} include(s) of folders not declared as dependencies")
endif()
