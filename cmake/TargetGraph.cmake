# What the build's cmake modules ask of the targets once they are all defined.

# Every target defined in dir and below.
function(kx_all_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    kx_all_targets(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# The libraries whose usage requirements (compile definitions) reach target: its own and those
# its libraries pass on; libraries linked privately by a library ($<LINK_ONLY:...>) pass none.
function(kx_usage_libraries target out)
  get_target_property(queue ${target} LINK_LIBRARIES)
  if(NOT queue)
    set(queue)
  endif()
  set(seen)
  while(queue)
    list(POP_FRONT queue item)
    if(item MATCHES "^\\$<" OR item MATCHES "^::@" OR item IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${item})
    if(TARGET ${item})
      get_target_property(passed ${item} INTERFACE_LINK_LIBRARIES)
      if(passed)
        list(APPEND queue ${passed})
      endif()
    endif()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# Whether a target whose usage libraries are in the variable named libraries_var compiles against
# GoogleTest, i.e. is a test program or a test helper library.
function(kx_is_test_code libraries_var out)
  set(${out} OFF PARENT_SCOPE)
  if("GTest::gtest" IN_LIST ${libraries_var} OR "GTest::gtest_main" IN_LIST ${libraries_var})
    set(${out} ON PARENT_SCOPE)
  endif()
endfunction()

# Every target of the project, walked once for the modules that follow.
kx_all_targets(${CMAKE_SOURCE_DIR} KX_ALL_TARGETS)
