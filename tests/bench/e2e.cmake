# The bench against four simulated units (kx410-sim on pseudo-terminals).
if(NOT TARGET kx_e2e_support OR NOT TARGET kx_websim)
  return()
endif()
add_executable(kx_bench_e2e_tests BenchE2eTest.cpp)
target_include_directories(kx_bench_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/sim/webservice)
target_link_libraries(kx_bench_e2e_tests PRIVATE kx_e2e_support kx_app kx_websim kx_test_main)
gtest_discover_tests(kx_bench_e2e_tests TEST_PREFIX "bench." DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "${KX_TEST_ENV}" TIMEOUT 180 COST 6)
