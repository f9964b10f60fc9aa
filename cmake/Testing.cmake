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

# Where the i686 tests run (MECH_I686_RUNNER):
#   native     the kernel runs 32-bit programs: tests and programs run directly;
#   vm         it cannot: the whole i686 suite runs once in a VM on Debian's amd64 kernel
#              (tests/vm/suite-run.sh, a CTest fixture), and each case reports its result
#              from there under its own name (tests/vm/suite-case.sh);
#   qemu-user  a developer's quick option where the kernel cannot: 32-bit programs run under
#              qemu's user-mode emulator, which lacks some mechanisms, so cases skip.
set(MECH_I686_RUNNER "" CACHE STRING "Where the i686 tests run: native, vm or qemu-user (empty: native when the kernel runs 32-bit programs, vm otherwise)")
set(MECH_EMULATOR "")
set(MECH_RUNNER native)
if(MECH_ARCH STREQUAL i686)
  set(probe_dir ${CMAKE_BINARY_DIR}/_probe)
  file(WRITE ${probe_dir}/probe.c "int main(void) { return 0; }\n")
  try_compile(probe_built ${probe_dir}/build SOURCES ${probe_dir}/probe.c
              COPY_FILE ${probe_dir}/probe32)
  if(NOT probe_built)
    message(FATAL_ERROR "cannot build a 32-bit x86 program: run scripts/install.sh (g++-multilib)")
  endif()
  execute_process(COMMAND ${probe_dir}/probe32 RESULT_VARIABLE probe_rc OUTPUT_QUIET ERROR_QUIET)
  if(probe_rc STREQUAL "0")
    set(MECH_RUNNER native)
  elseif(MECH_I686_RUNNER)
    set(MECH_RUNNER ${MECH_I686_RUNNER})
  else()
    set(MECH_RUNNER vm)
  endif()
  if(MECH_I686_RUNNER AND NOT MECH_I686_RUNNER STREQUAL MECH_RUNNER)
    message(FATAL_ERROR "MECH_I686_RUNNER=${MECH_I686_RUNNER}, but this kernel runs 32-bit programs itself")
  endif()
  # Discovery lists each test program's cases; where the kernel cannot run the program, the
  # emulator does that listing (and, in qemu-user mode, runs everything).
  if(NOT MECH_RUNNER STREQUAL native)
    find_program(MECH_QEMU_I386 qemu-i386)
    if(NOT MECH_QEMU_I386)
      message(FATAL_ERROR "this kernel cannot run 32-bit programs and qemu-i386 is missing: "
                          "run scripts/install.sh (qemu-user)")
    endif()
  endif()
  if(MECH_RUNNER STREQUAL qemu-user)
    set(MECH_EMULATOR ${MECH_QEMU_I386})
    set(CMAKE_CROSSCOMPILING_EMULATOR ${MECH_EMULATOR})
    message(STATUS "i686 tests run under ${MECH_EMULATOR} (quick, not a kernel: some cases skip)")
  elseif(MECH_RUNNER STREQUAL vm)
    set(MECH_VM_SUITE_DIR ${CMAKE_BINARY_DIR}/vm-suite)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        ${CMAKE_SOURCE_DIR}/tests/vm/suite-case.sh ${MECH_VM_SUITE_DIR} ${MECH_QEMU_I386})
    message(STATUS "This kernel cannot run 32-bit programs: the i686 suite runs in a VM")
  elseif(NOT MECH_RUNNER STREQUAL native)
    message(FATAL_ERROR "MECH_I686_RUNNER must be native, vm or qemu-user, not ${MECH_RUNNER}")
  endif()
endif()

# Every timeout (the harness's waits, each case's CTest limit, the VM's limits and the guest's
# own waits, the tour's waits and silences) is multiplied by MECH_TIMEOUT_SCALE (a whole number,
# from the environment when configuring; default 1), and further where programs run slower: 2
# with the sanitizers, 3 in the VM or the emulator.
set(MECH_TIMEOUT_FACTOR 1)
if(DEFINED ENV{MECH_TIMEOUT_SCALE})
  if(NOT "$ENV{MECH_TIMEOUT_SCALE}" MATCHES "^[1-9][0-9]*$")
    message(FATAL_ERROR "MECH_TIMEOUT_SCALE must be a whole number of at least 1, not '$ENV{MECH_TIMEOUT_SCALE}'")
  endif()
  set(MECH_TIMEOUT_FACTOR $ENV{MECH_TIMEOUT_SCALE})
endif()
set(MECH_TIMEOUT_USER_SCALE ${MECH_TIMEOUT_FACTOR})
if(MECH_SANITIZE)
  math(EXPR MECH_TIMEOUT_FACTOR "${MECH_TIMEOUT_FACTOR} * 2")
endif()
if(NOT MECH_RUNNER STREQUAL native)
  math(EXPR MECH_TIMEOUT_FACTOR "${MECH_TIMEOUT_FACTOR} * 3")
endif()
message(STATUS "Timeouts scaled by ${MECH_TIMEOUT_FACTOR}")

# mech_add_test(NAME SOURCES src... [LIBS lib...] [DEPENDS target...] [LABELS label...]
#               [TIMEOUT seconds] [FIXTURES fixture...])
# One GoogleTest program, linked with the harness, its cases registered in CTest one by one
# as NAME.Suite.Case. Each case gets TIMEOUT (default 60 s, times MECH_TIMEOUT_FACTOR); the harness ends a case that
# overruns it a little earlier, killing the programs it started. LABELS defaults to integration; use a separate NAME for cases that
# need another label (slow, vm, unit). DEPENDS names the deliverables and peers it runs, so
# that building the test builds them. FIXTURES names the CTest fixtures every case requires
# (their setup runs first).
function(mech_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;DEPENDS;LABELS;FIXTURES" ${ARGN})
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
  math(EXPR timeout "${T_TIMEOUT} * ${MECH_TIMEOUT_FACTOR}")
  set(properties LABELS "${T_LABELS}" TIMEOUT ${timeout} ENVIRONMENT "HARNESS_TIMEOUT=${timeout}")
  set(fixtures ${T_FIXTURES})
  if(MECH_RUNNER STREQUAL vm)
    # Each case reports what it did in the VM, so the VM's run comes first.
    list(APPEND fixtures i686_vm_suite)
  endif()
  if(fixtures)
    list(APPEND properties FIXTURES_REQUIRED "${fixtures}")
  endif()
  gtest_discover_tests(${name}
    TEST_PREFIX "${name}."
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${properties})
endfunction()
