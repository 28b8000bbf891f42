# Precompiled headers, shared: four small host targets each compile one header set once, and every
# Qt target of the project reuses the one that fits it (REUSE_FROM), chosen from what it links:
#   kx_pch_core          Qt Core and the standard library       (libraries and programs on Qt Core)
#   kx_pch_widgets       the same and Qt Widgets                (the window's libraries)
#   kx_pch_test_core     kx_pch_core's headers and GoogleTest   (test programs on Qt Core)
#   kx_pch_test_widgets  kx_pch_widgets' headers and GoogleTest (test programs with widgets)
# A precompiled header is only used by a compile with the same code model flags (-fPIC, debug
# information, sanitizers) and with every macro it was made with: Qt defines QT_<MODULE>_LIB for
# each module a target links, so a host links no more modules than the targets that use it.
# Targets without Qt are left alone. A target opts out with set_target_properties(T PROPERTIES
# KX_NO_PCH ON).
# On by default: a window source compiles in a third to a half of the processor time with it.
option(KX_PCH "Share precompiled headers for Qt and GoogleTest between targets" ON)
if(NOT KX_PCH)
  return()
endif()

function(kx_pch_host name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "LIBRARIES;HEADERS")
  add_library(${name} STATIC ${CMAKE_SOURCE_DIR}/cmake/pch/PchHost.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF)
  target_include_directories(${name} PRIVATE ${kx_pch_dir})
  target_precompile_headers(${name} PRIVATE ${ARG_HEADERS})
endfunction()

# g++ 12 inlines std::string's copies differently when its headers come from a precompiled header,
# and then warns falsely that a memcpy inside char_traits.h runs out of bounds (-Warray-bounds,
# -Wrestrict, -Wstringop-overflow, -Wstringop-overread on `std::string("a") + text + "b"` and on
# copies of structs holding strings; GCC bugs 105329 and 105651 and their kin, fixed in 13). The
# same sources compile without these warnings when the headers are parsed afresh, so they are
# silenced on the targets that use a precompiled header only, and only for g++ before 13; every
# other warning still fails the build with -DKX_WERROR=ON.
set(kx_pch_warning_options)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  set(kx_pch_warning_options -Wno-array-bounds -Wno-restrict -Wno-stringop-overflow
                              -Wno-stringop-overread)
endif()

# The header sets are named by angle brackets, found through the include path: the generated
# header that includes them then reads the same in every clone of the project, so that ccache
# (CCACHE_BASEDIR, scripts/setup.sh) gives every clone the same precompiled header, and with it
# the objects compiled against it. An absolute path there would make each clone compile all anew.
set(kx_pch_dir ${CMAKE_SOURCE_DIR}/cmake/pch)
set(kx_core_headers "<CoreHeaders.h>")
set(kx_widgets_headers ${kx_core_headers} "<WidgetsHeaders.h>")
set(kx_test_headers "<TestHeaders.h>")
kx_pch_host(kx_pch_core LIBRARIES Qt6::Core HEADERS ${kx_core_headers})
kx_pch_host(kx_pch_widgets LIBRARIES Qt6::Widgets HEADERS ${kx_widgets_headers})
if(TARGET GTest::gtest)
  kx_pch_host(kx_pch_test_core LIBRARIES Qt6::Core GTest::gtest
              HEADERS ${kx_core_headers} ${kx_test_headers})
  kx_pch_host(kx_pch_test_widgets LIBRARIES Qt6::Widgets GTest::gtest
              HEADERS ${kx_widgets_headers} ${kx_test_headers})
  kx_test_compile_options(kx_pch_test_core)
  kx_test_compile_options(kx_pch_test_widgets)
endif()

foreach(target IN LISTS KX_ALL_TARGETS)
  get_target_property(type ${target} TYPE)
  get_target_property(opt_out ${target} KX_NO_PCH)
  if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$"
     OR opt_out)
    continue()
  endif()
  kx_usage_libraries(${target} libraries)
  if(NOT "Qt6::Core" IN_LIST libraries)
    continue()
  endif()
  set(host kx_pch_core)
  if("Qt6::Widgets" IN_LIST libraries)
    set(host kx_pch_widgets)
  endif()
  kx_is_test_code(libraries is_test)
  if(TARGET kx_pch_test_core AND is_test)
    set(host kx_pch_test_core)
    if("Qt6::Widgets" IN_LIST libraries)
      set(host kx_pch_test_widgets)
    endif()
  endif()
  target_precompile_headers(${target} REUSE_FROM ${host})
  # Where the header sets are, should a compile ever parse them rather than use the host's.
  target_include_directories(${target} PRIVATE ${kx_pch_dir})
  target_compile_options(${target} PRIVATE ${kx_pch_warning_options})
endforeach()
