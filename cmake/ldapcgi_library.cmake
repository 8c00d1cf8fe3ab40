# ldapcgi_library(NAME <target> DIR <folder> [SRCS <files>] [EXCLUDE <regex>] [DEPS <targets>])
#
# One static library per folder, with the folders it may use declared as
# DEPS, linked privately: a library reaches only what it declares. Every
# library also gets a link check: an empty program linked with the whole
# library and only its declared dependencies, so a call into a folder that
# is not declared (an upward call above all) fails the build; and
# ldapcgi_include_check() below checks its includes the same way.
function(ldapcgi_library)
  cmake_parse_arguments(LIB "" "NAME;DIR;EXCLUDE" "SRCS;DEPS" ${ARGN})
  if(NOT LIB_SRCS)
    file(GLOB LIB_SRCS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${LIB_DIR}/*.cpp)
    list(FILTER LIB_SRCS EXCLUDE REGEX ".*_main\\.cpp$")
    if(LIB_EXCLUDE)
      list(FILTER LIB_SRCS EXCLUDE REGEX "${LIB_EXCLUDE}")
    endif()
  else()
    list(TRANSFORM LIB_SRCS PREPEND ${CMAKE_SOURCE_DIR}/${LIB_DIR}/)
  endif()
  add_library(${LIB_NAME} STATIC ${LIB_SRCS})
  target_include_directories(${LIB_NAME} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${LIB_NAME} PRIVATE ${LIB_DEPS})
  set_target_properties(${LIB_NAME} PROPERTIES LDAPCGI_DIR ${LIB_DIR}
                        LDAPCGI_DEPS "${LIB_DEPS}" LDAPCGI_SRCS "${LIB_SRCS}")
  set_property(GLOBAL APPEND PROPERTY LDAPCGI_LIBRARIES ${LIB_NAME})

  add_executable(${LIB_NAME}_link_check ${CMAKE_SOURCE_DIR}/cmake/link_check_main.cpp)
  target_link_libraries(${LIB_NAME}_link_check PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${LIB_NAME}>")
  set_target_properties(${LIB_NAME}_link_check PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                        ${CMAKE_BINARY_DIR}/link_checks)
endfunction()

# ldapcgi_include_check(NAME <test>): a test that fails when a library's
# file includes "folder/..." of a folder that is neither the library's own
# nor that of a library it declares. Each source is checked with the header
# of the same name; a header without a source, against every library of its
# folder together.
function(ldapcgi_include_check)
  cmake_parse_arguments(CHECK "" "NAME" "" ${ARGN})
  get_property(libraries GLOBAL PROPERTY LDAPCGI_LIBRARIES)
  set(manifest "")
  foreach(lib IN LISTS libraries)
    get_target_property(dir ${lib} LDAPCGI_DIR)
    get_target_property(deps ${lib} LDAPCGI_DEPS)
    get_target_property(srcs ${lib} LDAPCGI_SRCS)
    set(allowed ${dir})
    foreach(dep IN LISTS deps)
      if(dep IN_LIST libraries)
        get_target_property(dep_dir ${dep} LDAPCGI_DIR)
        list(APPEND allowed ${dep_dir})
      endif()
    endforeach()
    list(REMOVE_DUPLICATES allowed)
    list(APPEND folder_allowed_${dir} ${allowed})
    list(APPEND folders ${dir})
    foreach(src IN LISTS srcs)
      string(REGEX REPLACE "\\.cpp$" ".h" header ${src})
      set(files ${src})
      if(EXISTS ${header})
        list(APPEND files ${header})
        list(APPEND claimed_${dir} ${header})
      endif()
      foreach(file IN LISTS files)
        file(RELATIVE_PATH file ${CMAKE_SOURCE_DIR} ${file})
        string(APPEND manifest "check_includes(${lib} \"${file}\" \"${allowed}\")\n")
      endforeach()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES folders)
  foreach(dir IN LISTS folders)
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.h)
    list(REMOVE_DUPLICATES folder_allowed_${dir})
    foreach(header IN LISTS headers)
      if(NOT header IN_LIST claimed_${dir})
        file(RELATIVE_PATH file ${CMAKE_SOURCE_DIR} ${header})
        string(APPEND manifest "check_includes(${dir} \"${file}\" \"${folder_allowed_${dir}}\")\n")
      endif()
    endforeach()
  endforeach()
  file(WRITE ${CMAKE_BINARY_DIR}/${CHECK_NAME}_manifest.cmake "${manifest}")
  add_test(NAME ${CHECK_NAME} COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
           -DMANIFEST=${CMAKE_BINARY_DIR}/${CHECK_NAME}_manifest.cmake
           -P ${CMAKE_SOURCE_DIR}/cmake/include_check.cmake)
endfunction()

# ldapcgi_test(DIR <tests folder> DEPS <targets>): one test binary per folder
# under tests/, linked with only the libraries it tests.
function(ldapcgi_test)
  cmake_parse_arguments(TEST "" "DIR" "DEPS" ${ARGN})
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${TEST_DIR}/*.cpp)
  string(REGEX REPLACE "^tests/" "" test_name ${TEST_DIR})
  string(REPLACE "/" "_" test_name ${test_name})
  add_executable(${test_name}_tests ${test_sources})
  target_link_libraries(${test_name}_tests PRIVATE testsupport ${TEST_DEPS} GTest::gtest_main)
  add_dependencies(${test_name}_tests ldapcgi_cgi aliastable_tool)
  add_test(NAME ${test_name} COMMAND ${test_name}_tests --gtest_brief=1)
  set_tests_properties(${test_name} PROPERTIES TIMEOUT 1200)
endfunction()
