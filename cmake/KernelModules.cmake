# Kernel modules, built with Kbuild against the Debian kernel headers that
# scripts/install.d/50-kernel.sh unpacks (x86_64 and i686, same ABI), never against the
# running kernel. Only the native preset builds them; they land in build/kernel/<arch>/.
set(MECH_KERNEL_CACHE /var/cache/mechanisms/kernel CACHE PATH
    "Unpacked Debian kernels and headers (scripts/install.d/50-kernel.sh)")
set(MECH_KERNEL_OUT ${CMAKE_SOURCE_DIR}/build/kernel)
set(MECH_KERNEL_ARCHES x86_64 i686)
set(MECH_KERNEL_BUILD OFF)
if(MECH_ARCH STREQUAL x86_64 AND NOT MECH_SANITIZE)
  set(MECH_KERNEL_BUILD ON)
endif()

# Why an architecture's modules cannot be built here ("" when they can).
function(mech_kernel_missing arch out)
  set(headers ${MECH_KERNEL_CACHE}/current/${arch}/headers)
  if(NOT EXISTS ${headers}/Makefile)
    set(${out} "no kernel headers for ${arch} in ${headers}: run scripts/install.sh" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# mech_add_kernel_modules(TARGET SUBDIR MODULES name... SOURCES file...)
# Builds the modules (name.ko) from SOURCES (the Kbuild file among them) for every
# architecture whose headers are present, in build/kernel/<arch>/<SUBDIR>. Kbuild writes
# beside the sources, so they are copied there first. W=1, and -Werror from the Kbuild files.
function(mech_add_kernel_modules target)
  cmake_parse_arguments(K "" "SUBDIR" "MODULES;SOURCES" ${ARGN})
  if(NOT MECH_KERNEL_BUILD)
    return()
  endif()
  set(outputs)
  foreach(arch ${MECH_KERNEL_ARCHES})
    mech_kernel_missing(${arch} why)
    if(why)
      message(STATUS "Kernel modules ${K_MODULES} not built for ${arch}: ${why}")
      continue()
    endif()
    set(dir ${MECH_KERNEL_OUT}/${arch}/${K_SUBDIR})
    set(sources)
    set(kos)
    foreach(src ${K_SOURCES})
      list(APPEND sources ${CMAKE_CURRENT_SOURCE_DIR}/${src})
    endforeach()
    foreach(mod ${K_MODULES})
      list(APPEND kos ${dir}/${mod}.ko)
    endforeach()
    add_custom_command(OUTPUT ${kos}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${CMAKE_COMMAND} -E copy ${sources} ${dir}
      COMMAND make -s -C ${MECH_KERNEL_CACHE}/current/${arch}/headers M=${dir} W=1 modules
      DEPENDS ${sources}
      COMMENT "Building kernel modules ${K_MODULES} for ${arch}"
      VERBATIM)
    list(APPEND outputs ${kos})
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()
