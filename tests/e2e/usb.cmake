# Over the USB cable: the simulated libftd2xx.so stands in for FTDI's library.
if(NOT TARGET kx_sim_ftd2xx_client)
  return()
endif()
add_library(kx_e2e_usb_support STATIC UsbFixture.cpp)
target_link_libraries(kx_e2e_usb_support PUBLIC kx_e2e_support kx_sim_ftd2xx_client)
target_compile_definitions(kx_e2e_usb_support PUBLIC
  KX_SIM_FTD2XX_PATH="$<TARGET_FILE:kx_sim_ftd2xx>")

target_sources(kx_e2e_tests PRIVATE UsbUpdateTest.cpp EchoTest.cpp OpenFileTest.cpp)
target_link_libraries(kx_e2e_tests PRIVATE kx_e2e_usb_support)
