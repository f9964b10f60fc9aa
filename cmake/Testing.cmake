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

# Some x86_64 kernels cannot run 32-bit programs (no IA-32 emulation). There the i686 tests,
# and the 32-bit programs they start, run under qemu's user-mode emulator instead.
set(MECH_EMULATOR "")
if(MECH_ARCH STREQUAL i686)
  set(probe_dir ${CMAKE_BINARY_DIR}/_probe)
  file(WRITE ${probe_dir}/probe.c "int main(void) { return 0; }\n")
  try_compile(probe_built ${probe_dir}/build SOURCES ${probe_dir}/probe.c
              COPY_FILE ${probe_dir}/probe32)
  if(NOT probe_built)
    message(FATAL_ERROR "cannot build a 32-bit x86 program: run scripts/install.sh (g++-multilib)")
  endif()
  execute_process(COMMAND ${probe_dir}/probe32 RESULT_VARIABLE probe_rc OUTPUT_QUIET ERROR_QUIET)
  if(NOT probe_rc STREQUAL "0")
    find_program(MECH_QEMU_I386 qemu-i386)
    if(NOT MECH_QEMU_I386)
      message(FATAL_ERROR "this kernel cannot run 32-bit programs and qemu-i386 is missing: "
                          "run scripts/install.sh (qemu-user)")
    endif()
    set(MECH_EMULATOR ${MECH_QEMU_I386})
    set(CMAKE_CROSSCOMPILING_EMULATOR ${MECH_EMULATOR})
    message(STATUS "This kernel cannot run 32-bit programs: tests run them under ${MECH_EMULATOR}")
  endif()
endif()

# mech_add_test(NAME SOURCES src... [LIBS lib...] [DEPENDS target...] [LABELS label...]
#               [TIMEOUT seconds])
# One GoogleTest program, linked with the harness, its cases registered in CTest one by one
# as NAME.Suite.Case. Each case gets TIMEOUT (default 60 s); the harness ends a case that
# overruns it a little earlier, killing the programs it started. LABELS defaults to integration; use a separate NAME for cases that
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
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
               ENVIRONMENT "HARNESS_TIMEOUT=${T_TIMEOUT}")
endfunction()
