# Unity builds: the sources of the program's libraries (eight at a time) and of the test programs
# (four at a time) are compiled as one translation unit, so the headers they share (the standard
# library's, Qt's, GoogleTest's, the fixtures') are parsed and their inline code compiled once per
# batch instead of once per file. The batches stay small enough that two processors still have
# several units to compile side by side.
#   KX_UNITY=OFF                  compiles every source on its own (e.g. to find a missing include;
#                                 scripts/check-style.sh configures its tree this way)
#   KX_UNITY_SRC_DIRS             the program's folders built this way
#   KX_UNITY_DIRS                 the test folders built this way
#   SKIP_UNITY_BUILD_INCLUSION    on a source keeps that one file out of its target's batches
# Every target defined in those folders is included (test programs and their helper libraries),
# new ones too. Names a source keeps in an anonymous namespace must then differ from those of the
# other sources of its target.
option(KX_UNITY "Compile the libraries and the test programs as unity builds" ON)
set(KX_UNITY_BATCH_SIZE 4 CACHE STRING "Sources per unity batch")
set(KX_UNITY_SRC_BATCH_SIZE 8 CACHE STRING "Sources per unity batch of the program's libraries")
if(NOT KX_UNITY)
  return()
endif()

# kx_unity_dirs(<batch size> <dir>... [OPTIONS <compile option>...]): every library and program
# defined in those folders is compiled in batches of that size.
function(kx_unity_dirs batch)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "OPTIONS")
  foreach(dir IN LISTS ARG_UNPARSED_ARGUMENTS)
    if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
      continue()
    endif()
    get_property(targets DIRECTORY ${CMAKE_SOURCE_DIR}/${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type MATCHES "^(STATIC_LIBRARY|EXECUTABLE)$")
        set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${batch})
        target_compile_options(${target} PRIVATE ${ARG_OPTIONS})
      endif()
    endforeach()
  endforeach()
endfunction()

set(KX_UNITY_SRC_DIRS
  src/app src/app/bench src/cli src/device src/dialogs src/doctor src/link src/platform src/res
  src/web)
kx_unity_dirs(${KX_UNITY_SRC_BATCH_SIZE} ${KX_UNITY_SRC_DIRS})
if(NOT KX_BUILD_TESTS)
  return()
endif()

# Left out: tests/hotplug (umockdev's GLib headers name a member `signals`, which Qt defines as a
# keyword, so the one source that includes them must not follow a Qt source) and tests/hardware
# (its three sources each keep a helper of the same name).
set(KX_UNITY_DIRS
  tests/app tests/bench tests/cli tests/dialogs tests/doctor tests/e2e tests/golden
  tests/platform tests/sim tests/web tests/device tests/link tests/support)

# GoogleTest fixtures kept in an anonymous namespace are fine in a source of their own; included
# into a batch, g++ warns that a test class derives from a type of another file's anonymous
# namespace (-Wsubobject-linkage), which is what a batch is.
set(kx_unity_options)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(kx_unity_options -Wno-subobject-linkage)
endif()
kx_unity_dirs(${KX_UNITY_BATCH_SIZE} ${KX_UNITY_DIRS} OPTIONS ${kx_unity_options})
