# GoogleTest, built from Debian's sources with this preset's flags (so -m32 and the
# sanitizers reach it too), and one helper that every test folder uses.
set(MECH_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
if(NOT EXISTS ${MECH_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${MECH_GTEST_SOURCE_DIR}: run scripts/install.sh")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${MECH_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
# Keep the test framework's archives out of lib/, which holds the project's deliverables.
set_target_properties(gtest gtest_main PROPERTIES
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/archive)
include(GoogleTest)

# mech_add_test(NAME SOURCES src... [LIBS lib...] [DEPENDS target...] [LABELS label...]
#               [TIMEOUT seconds])
# One GoogleTest program, linked with the harness, its cases registered in CTest one by one
# as NAME.Suite.Case. LABELS defaults to integration; use a separate NAME for cases that
# need another label (slow, vm, unit). DEPENDS names the deliverables and peers it runs, so
# that building the test builds them.
function(mech_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;DEPENDS;LABELS" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS integration)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE harness GTest::gtest_main ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  gtest_discover_tests(${name}
    TEST_PREFIX "${name}."
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
endfunction()
