# Unity builds for the test programs: each program's sources are compiled a few at a time as one
# translation unit, so the headers they share (Qt, GoogleTest, the fixtures) are parsed once per
# batch instead of once per file. The batches stay small so that two processors still have
# several units to compile side by side.
#   KX_UNITY=OFF                  compiles every source on its own (e.g. to find a missing include)
#   KX_UNITY_DIRS                 the folders whose targets are built this way
#   SKIP_UNITY_BUILD_INCLUSION    on a source keeps that one file out of its target's batches
# Every target defined in those folders is included (test programs and their helper libraries),
# new ones too. Names a source keeps in an anonymous namespace must then differ from those of the
# other sources of its target.
option(KX_UNITY "Compile the test programs as unity builds" ON)
set(KX_UNITY_BATCH_SIZE 4 CACHE STRING "Sources per unity batch")
if(NOT KX_UNITY OR NOT KX_BUILD_TESTS)
  return()
endif()

# Left out: tests/hotplug (umockdev's GLib headers name a member `signals`, which Qt defines as a
# keyword, so the one source that includes them must not follow a Qt source), tests/hardware (its
# three sources each keep a helper of the same name), and tests/device, tests/link and
# tests/support while the engine and its links are being reworked.
set(KX_UNITY_DIRS
  tests/app tests/bench tests/cli tests/dialogs tests/doctor tests/e2e tests/golden
  tests/platform tests/sim tests/web)

# GoogleTest fixtures kept in an anonymous namespace are fine in a source of their own; included
# into a batch, g++ warns that a test class derives from a type of another file's anonymous
# namespace (-Wsubobject-linkage), which is what a batch is.
set(kx_unity_options)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(kx_unity_options -Wno-subobject-linkage)
endif()

foreach(dir IN LISTS KX_UNITY_DIRS)
  if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    continue()
  endif()
  get_property(targets DIRECTORY ${CMAKE_SOURCE_DIR}/${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(STATIC_LIBRARY|EXECUTABLE)$")
      set_target_properties(${target} PROPERTIES UNITY_BUILD ON
                                                 UNITY_BUILD_BATCH_SIZE ${KX_UNITY_BATCH_SIZE})
      target_compile_options(${target} PRIVATE ${kx_unity_options})
    endif()
  endforeach()
endforeach()
