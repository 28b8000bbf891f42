# The test programs are not what users run, and most of the suite's time is spent waiting on
# timers and simulated lines: code that compiles against GoogleTest (the test programs and their
# helper libraries) is compiled without optimisation, which halves the processor time its
# compiles take. The program's own libraries that the tests link stay as optimised as the
# product, so the tests still run the code that ships; so do the simulators and bench/, which
# measures speed.
#   KX_TEST_OPTIMISATION   the flag for test code ("" keeps the build type's own, e.g. to look
#                          for a test that only fails optimised)
# A target's precompiled header must be made with the same flag (it fixes __OPTIMIZE__), so
# cmake/Precompiled.cmake gives the test hosts the same one through kx_test_compile_options.
set(KX_TEST_OPTIMISATION "-O0" CACHE STRING "Optimisation flag of test code (empty: the build type's)")

function(kx_test_compile_options target)
  if(KX_TEST_OPTIMISATION)
    target_compile_options(${target} PRIVATE ${KX_TEST_OPTIMISATION})
  endif()
endfunction()

if(NOT KX_BUILD_TESTS)
  return()
endif()
foreach(target IN LISTS KX_ALL_TARGETS)
  get_target_property(type ${target} TYPE)
  if(NOT type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
    continue()
  endif()
  kx_usage_libraries(${target} libraries)
  kx_is_test_code(libraries is_test)
  if(is_test)
    kx_test_compile_options(${target})
  endif()
endforeach()
