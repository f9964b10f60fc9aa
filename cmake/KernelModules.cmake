# Kernel modules, built with Kbuild against the Debian kernel headers that
# scripts/install.d/50-kernels.sh unpacks, never against the running kernel. Only the native
# preset builds them. Debian 12's default kernel (x86_64 and i686, same ABI) gets them in
# build/kernel/<arch>/; every other kernel tested (a flavour: 6.12, PREEMPT_RT, the debug
# kernel built from source by scripts/install.d/60-debug-kernel.sh) in
# build/kernel/<kernel-release>/, the release its headers report.
include_guard(GLOBAL)

# The cache's default folder is written once, in scripts/paths.sh, for the scripts too.
file(STRINGS ${CMAKE_SOURCE_DIR}/scripts/paths.sh cache_line
     REGEX "^mech_kernel_cache_default=")
string(REGEX REPLACE "^[^=]*=" "" cache_default "${cache_line}")
set(MECH_KERNEL_CACHE ${cache_default} CACHE PATH
    "Unpacked Debian kernels and headers (scripts/install.d/50-kernels.sh)")
set(MECH_KERNEL_OUT ${CMAKE_SOURCE_DIR}/build/kernel)

# The kernel matrix, the one list of the kernels the modules are built for and tested in:
# NAME:ARCH:MODELS, MODELS the preemption models each is booted with (preempt=). A NAME that is
# an architecture is Debian 12's default kernel for it; the others are flavours.
set(MECH_KERNEL_MATRIX
  x86_64:x86_64:none,full
  i686:i686:none,full
  6.12-amd64:x86_64:none,full   # Debian 12's newest 6.12 kernel
  rt-amd64:x86_64:full          # PREEMPT_RT: always fully preemptible, no model to choose
  debug:x86_64:none,full)       # 6.1 with lockdep, PROVE_RCU, KASAN (60-debug-kernel.sh)
set(MECH_KERNELS)
set(MECH_KERNEL_ARCHES)
foreach(entry ${MECH_KERNEL_MATRIX})
  string(REPLACE ":" ";" fields ${entry})
  list(GET fields 0 name)
  list(GET fields 1 arch)
  list(APPEND MECH_KERNELS ${name})
  if(name STREQUAL arch)
    list(APPEND MECH_KERNEL_ARCHES ${arch})
  endif()
endforeach()

# The architecture (x86_64 or i686) and the preemption models (a list) of a kernel of the matrix.
function(mech_kernel_field kernel index out)
  foreach(entry ${MECH_KERNEL_MATRIX})
    string(REPLACE ":" ";" fields ${entry})
    list(GET fields 0 name)
    if(name STREQUAL kernel)
      list(GET fields ${index} value)
      string(REPLACE "," ";" value ${value})
      set(${out} ${value} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "no kernel ${kernel} in MECH_KERNEL_MATRIX")
endfunction()
function(mech_kernel_arch kernel out)
  mech_kernel_field(${kernel} 1 value)
  set(${out} ${value} PARENT_SCOPE)
endfunction()
function(mech_kernel_models kernel out)
  mech_kernel_field(${kernel} 2 value)
  set(${out} ${value} PARENT_SCOPE)
endfunction()
# An exercise's tree (exercise/exercise.cmake) keeps its modules to itself, built only for the
# kernels its checks boot.
set(MECH_KERNELS_BUILT ${MECH_KERNELS})
if(MECH_EXERCISE_OURS)
  set(MECH_KERNEL_OUT ${CMAKE_BINARY_DIR}/kernel)
  set(MECH_KERNELS_BUILT x86_64 debug)
endif()
set(MECH_KERNEL_BUILD OFF)
if(MECH_ARCH STREQUAL x86_64 AND NOT MECH_SANITIZE)
  set(MECH_KERNEL_BUILD ON)
endif()

# The cache folder of a kernel of MECH_KERNELS (kernel, headers, busybox).
function(mech_kernel_dir kernel out)
  if(kernel IN_LIST MECH_KERNEL_ARCHES)
    set(${out} ${MECH_KERNEL_CACHE}/current/${kernel} PARENT_SCOPE)
  else()
    set(${out} ${MECH_KERNEL_CACHE}/${kernel} PARENT_SCOPE)
  endif()
endfunction()

# A kernel's release, as it reports it (uname -r) and as its modules' vermagic names it: the
# UTS_RELEASE of its headers ("" while they are missing). The one way a release is read; a
# kernel fetched anew changes the file, and the build configures itself again.
function(mech_kernel_release kernel out)
  mech_kernel_dir(${kernel} dir)
  set(uts ${dir}/headers/include/generated/utsrelease.h)
  set(${out} "" PARENT_SCOPE)
  if(EXISTS ${uts})
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${uts})
    file(STRINGS ${uts} line REGEX "UTS_RELEASE")
    string(REGEX REPLACE ".*\"(.*)\".*" "\\1" release "${line}")
    set(${out} ${release} PARENT_SCOPE)
  endif()
endfunction()

# Where a kernel's modules go: build/kernel/<arch> or build/kernel/<kernel-release> ("" while
# a flavour's headers are missing).
function(mech_kernel_modules_dir kernel out)
  if(kernel IN_LIST MECH_KERNEL_ARCHES)
    set(${out} ${MECH_KERNEL_OUT}/${kernel} PARENT_SCOPE)
    return()
  endif()
  mech_kernel_release(${kernel} release)
  set(${out} "" PARENT_SCOPE)
  if(release)
    set(${out} ${MECH_KERNEL_OUT}/${release} PARENT_SCOPE)
  endif()
endfunction()

# Where the static programs for a guest of ARCH (x86_64 or i686) go: build/kernel/<arch>/guest.
function(mech_kernel_guest_dir arch out)
  set(${out} ${MECH_KERNEL_OUT}/${arch}/guest PARENT_SCOPE)
endfunction()

# Why a kernel's modules cannot be built here ("" when they can).
function(mech_kernel_missing kernel out)
  mech_kernel_dir(${kernel} dir)
  mech_kernel_modules_dir(${kernel} modules)
  if(NOT EXISTS ${dir}/headers/Makefile OR NOT modules)
    set(${out} "no kernel headers for ${kernel} in ${dir}/headers: run scripts/install.sh --tests"
        PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# mech_add_kernel_modules(TARGET SUBDIR MODULES name... SOURCES file...)
# Builds the modules (name.ko) from SOURCES (the Kbuild file among them) for every kernel
# whose headers are present, in its modules folder (above) under SUBDIR. Kbuild writes beside
# the sources, so they are copied there first. W=1, and -Werror from the Kbuild files.
function(mech_add_kernel_modules target)
  cmake_parse_arguments(K "" "SUBDIR" "MODULES;SOURCES" ${ARGN})
  if(NOT MECH_KERNEL_BUILD)
    return()
  endif()
  set(outputs)
  foreach(kernel ${MECH_KERNELS_BUILT})
    mech_kernel_missing(${kernel} why)
    if(why)
      message(STATUS "Kernel modules ${K_MODULES} not built for ${kernel}: ${why}")
      continue()
    endif()
    mech_kernel_dir(${kernel} kdir)
    mech_kernel_modules_dir(${kernel} dir)
    set(dir ${dir}/${K_SUBDIR})
    set(sources)
    set(kos)
    foreach(src ${K_SOURCES})
      set(path ${CMAKE_CURRENT_SOURCE_DIR}/${src})
      # In an exercise's tree (exercise/exercise.cmake), a learner's file under our file's name.
      mech_exercise_file(${path} learner)
      if(NOT learner STREQUAL path)
        set(path ${learner})
        set_property(GLOBAL APPEND_STRING PROPERTY MECH_EXERCISE_KERNEL_LISTING "${target} ${path}\n")
      endif()
      list(APPEND sources ${path})
    endforeach()
    foreach(mod ${K_MODULES})
      list(APPEND kos ${dir}/${mod}.ko)
    endforeach()
    # A kernel fetched anew (a point release's new ABI behind <cache>/current, say) has a new
    # ready file: its modules are built again, the kernel's release in the command.
    mech_kernel_release(${kernel} release)
    add_custom_command(OUTPUT ${kos}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${CMAKE_COMMAND} -E copy ${sources} ${dir}
      COMMAND ${CMAKE_COMMAND} -E env MECH_KERNEL_RELEASE=${release}
              make -s -C ${kdir}/headers M=${dir} W=1 modules
      DEPENDS ${sources} ${kdir}/ready
      COMMENT "Building kernel modules ${K_MODULES} for ${kernel}"
      VERBATIM)
    list(APPEND outputs ${kos})
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()
