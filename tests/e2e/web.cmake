# Firmware from the web service, with the simulated service inside the test.
if(NOT TARGET kx_e2e_usb_support OR NOT TARGET kx_websim)
  return()
endif()
target_sources(kx_e2e_tests PRIVATE WebUpdateTest.cpp)
# Compiled on its own in the unity build (cmake/Unity.cmake): it names a constant as
# OpenFileTest.cpp does.
set_source_files_properties(WebUpdateTest.cpp PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
target_include_directories(kx_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/sim/webservice)
target_link_libraries(kx_e2e_tests PRIVATE kx_websim)
