# mech_add_subdirectories(): add every folder below the current one that has a CMakeLists.txt,
# so a new program, peer or test folder needs no edit of its parent.
function(mech_add_subdirectories)
  file(GLOB dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir ${dirs})
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# mech_without_sanitizers(): the current folder's targets are built without the sanitize
# preset's instrumentation (for objects whose linking interface the runtimes would change).
macro(mech_without_sanitizers)
  if(MECH_SANITIZE)
    foreach(kind COMPILE_OPTIONS LINK_OPTIONS)
      get_directory_property(opts ${kind})
      list(REMOVE_ITEM opts ${MECH_SANITIZE_FLAGS})
      set_directory_properties(PROPERTIES ${kind} "${opts}")
    endforeach()
  endif()
endmacro()

# mech_targets_below(DIR OUT): every target defined in DIR and the folders below it.
function(mech_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    mech_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()
