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
