# Firmware from the web service, with the simulated service inside the test.
if(NOT TARGET kx_e2e_usb_support OR NOT TARGET kx_websim)
  return()
endif()
add_executable(kx_e2e_web_tests WebUpdateTest.cpp)
target_include_directories(kx_e2e_web_tests PRIVATE ${CMAKE_SOURCE_DIR}/sim/webservice)
target_link_libraries(kx_e2e_web_tests PRIVATE kx_e2e_usb_support kx_websim kx_test_main)
gtest_discover_tests(kx_e2e_web_tests TEST_PREFIX "e2e." DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "${KX_TEST_ENV}" TIMEOUT 180)
