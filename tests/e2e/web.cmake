# Firmware from the web service, with the simulated service inside the test.
if(NOT TARGET kx_e2e_usb_support OR NOT TARGET kx_websim)
  return()
endif()
target_sources(kx_e2e_tests PRIVATE WebUpdateTest.cpp)
target_include_directories(kx_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/sim/webservice)
target_link_libraries(kx_e2e_tests PRIVATE kx_websim)
