# The exercises' side of the build (exercise/exercise reads what it writes).
#
# An exercise's tree (exercise/exercise configures it) builds every deliverable from a copy of
# its source in the tree, <tree>/learner/<our file's name>: MECH_EXERCISE_OURS names our sources
# and MECH_EXERCISE_SOURCE the copies, in the same order. The copies hold our sources while our
# build is made; a check puts a learner's file in place of one of them, in a copy-on-write view
# of the tree (sandbox/sandbox), and builds again what compiles it. Every target that compiles
# one of our sources (the deliverable, a second build of it, a test that compiles it in, a VM
# guest's copy) compiles the copy instead, with the same flags, definitions and include
# folders, and the folder of our source too, for the headers beside it. Kernel modules are
# copied into their Kbuild folder: cmake/KernelModules.cmake calls mech_exercise_file itself.
# The deliverables' targets that were swapped (not the tests' nor the VM guests') are listed in
# <tree>/exercise-targets, one "target file" a line.
#
# The tests declare which of their cases prove which deliverable (mech_exercise, below); every
# tree lists the declarations in <build>/exercise-cases.txt.

# mech_exercise_file(PATH OUT): the copy that replaces our source PATH in an exercise's tree,
# or PATH.
function(mech_exercise_file path out)
  list(FIND MECH_EXERCISE_OURS "${path}" at)
  if(at EQUAL -1)
    set(${out} ${path} PARENT_SCOPE)
  else()
    list(GET MECH_EXERCISE_SOURCE ${at} learner)
    set(${out} ${learner} PARENT_SCOPE)
  endif()
endfunction()

# mech_exercise(DELIVERABLE [CHECKS regex] [EXCEPT regex] [LONG regex] [TOUR scenario...]
#               [BUILD target...] [LONGBUILD target...])
# Declares the cases that prove DELIVERABLE when a learner writes it: CHECKS, the cases that
# run it (ctest regular expressions over case names, any of which selects a case; each case a
# check); EXCEPT, cases of CHECKS that do not run it; LONG, cases run only with `exercise check
# --long` (load tests, VMs); TOUR, the tour scenarios that play it; BUILD, the targets those
# cases need (the tests with their peers and the programs they start); LONGBUILD, what the
# long cases need besides. A regular expression holds no ";" (it would split the list).
# A deliverable may be declared by several folders. <build>/exercise-cases.txt holds the
# declarations, one per line:
#     line  = DELIVERABLE " " KEY " " VALUE
#     KEY   = "checks" | "except" | "long" | "tour" | "build" | "longbuild"
#     VALUE = the rest of the line: a regular expression (checks, except, long; a key given
#             on several lines means any of them), or names separated by blanks (the others)
# Its one reader is exercise/exercise.
function(mech_exercise deliverable)
  cmake_parse_arguments(E "" "" "CHECKS;EXCEPT;LONG;TOUR;BUILD;LONGBUILD" ${ARGN})
  set(lines)
  foreach(key CHECKS EXCEPT LONG)
    string(TOLOWER ${key} word)
    foreach(regex ${E_${key}})
      string(APPEND lines "${deliverable} ${word} ${regex}\n")
    endforeach()
  endforeach()
  foreach(key TOUR BUILD LONGBUILD)
    if(E_${key})
      string(TOLOWER ${key} word)
      list(JOIN E_${key} " " value)
      string(APPEND lines "${deliverable} ${word} ${value}\n")
    endif()
  endforeach()
  set_property(GLOBAL APPEND_STRING PROPERTY MECH_EXERCISE_CASES "${lines}")
endfunction()

function(mech_exercise_swap_sources dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL INTERFACE_LIBRARY)
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    get_target_property(target_dir ${target} SOURCE_DIR)
    get_target_property(is_test ${target} MECH_TEST)
    if(NOT sources)
      continue()
    endif()
    set(swapped)
    set(ours_dirs)
    foreach(src ${sources})
      set(path ${src})
      if(NOT IS_ABSOLUTE ${path})
        set(path ${target_dir}/${src})
      endif()
      mech_exercise_file(${path} file)
      if(NOT file STREQUAL path)
        set(src ${file})
        get_filename_component(ours_dir ${path} DIRECTORY)
        list(APPEND ours_dirs ${ours_dir})
        # The deliverables' own targets; not the tests' copies of a source.
        if(NOT is_test)
          string(APPEND MECH_EXERCISE_LISTING "${target} ${file}\n")
        endif()
      endif()
      list(APPEND swapped ${src})
    endforeach()
    if(ours_dirs)
      set_property(TARGET ${target} PROPERTY SOURCES ${swapped})
      target_include_directories(${target} PRIVATE ${ours_dirs})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    mech_exercise_swap_sources(${sub})
  endforeach()
  set(MECH_EXERCISE_LISTING "${MECH_EXERCISE_LISTING}" PARENT_SCOPE)
endfunction()

# At the end of the top-level CMakeLists.txt, once every target and test exists.
function(mech_exercise_finish)
  get_property(cases GLOBAL PROPERTY MECH_EXERCISE_CASES)
  file(WRITE ${CMAKE_BINARY_DIR}/exercise-cases.txt "${cases}")
  if(NOT MECH_EXERCISE_OURS)
    return()
  endif()
  list(LENGTH MECH_EXERCISE_OURS ours)
  list(LENGTH MECH_EXERCISE_SOURCE learners)
  if(NOT ours EQUAL learners)
    message(FATAL_ERROR "MECH_EXERCISE_OURS names our sources and MECH_EXERCISE_SOURCE the files "
                        "in their places, as many of each")
  endif()
  get_property(MECH_EXERCISE_LISTING GLOBAL PROPERTY MECH_EXERCISE_KERNEL_LISTING)
  mech_exercise_swap_sources(${CMAKE_SOURCE_DIR})
  file(WRITE ${CMAKE_BINARY_DIR}/exercise-targets "${MECH_EXERCISE_LISTING}")
  message(STATUS "Exercise: ${ours} of our sources replaced (${CMAKE_BINARY_DIR}/exercise-targets)")
endfunction()
