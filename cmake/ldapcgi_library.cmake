# ldapcgi_library(NAME <target> DIR <folder> [SRCS <files>] [EXCLUDE <regex>] [DEPS <targets>])
#
# One static library per folder, with the folders it may use declared as
# DEPS. Every library also gets a link check: an empty program linked with
# the whole library and only its declared dependencies, so a call into a
# folder that is not declared (an upward call above all) fails the build.
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
  target_link_libraries(${LIB_NAME} PUBLIC ${LIB_DEPS})

  add_executable(${LIB_NAME}_link_check ${CMAKE_SOURCE_DIR}/cmake/link_check_main.cpp)
  target_link_libraries(${LIB_NAME}_link_check PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${LIB_NAME}>")
  set_target_properties(${LIB_NAME}_link_check PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                        ${CMAKE_BINARY_DIR}/link_checks)
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
