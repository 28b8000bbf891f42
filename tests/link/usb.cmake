# Tests of the USB cable link against the simulated D2XX library (Qt Core only).
if(TARGET kx_sim_ftd2xx AND TARGET kx_link_usbcable)
  add_executable(kx_link_usbcable_tests ${CMAKE_CURRENT_LIST_DIR}/UsbCableLinkTest.cpp)
  target_link_libraries(kx_link_usbcable_tests PRIVATE
    kx_link_usbcable kx_sim_ftd2xx_client kx_unit_sim GTest::gtest)
  target_include_directories(kx_link_usbcable_tests PRIVATE ${CMAKE_SOURCE_DIR}/sim ${CMAKE_SOURCE_DIR}/tests/support)
  target_compile_definitions(kx_link_usbcable_tests PRIVATE
    KX_SIM_FTD2XX="$<TARGET_FILE:kx_sim_ftd2xx>"
    KX_SIM_FTD2XX_NO_CLRRTS="$<TARGET_FILE:kx_sim_ftd2xx_no_clrrts>"
    KX_SIM_FTD2XX_NO_GETSTATUS="$<TARGET_FILE:kx_sim_ftd2xx_no_getstatus>"
    KX_SIM_FTD2XX_NO_SETEVENTNOTIFICATION="$<TARGET_FILE:kx_sim_ftd2xx_no_seteventnotification>"
    KX_SIM_FTD2XX_NO_WRITE="$<TARGET_FILE:kx_sim_ftd2xx_no_write>"
    KX_SIM_FTD2XX_NO_SETLATENCYTIMER="$<TARGET_FILE:kx_sim_ftd2xx_no_setlatencytimer>")
  add_dependencies(kx_link_usbcable_tests kx_sim_ftd2xx kx_sim_ftd2xx_no_clrrts
    kx_sim_ftd2xx_no_getstatus kx_sim_ftd2xx_no_seteventnotification kx_sim_ftd2xx_no_write
    kx_sim_ftd2xx_no_setlatencytimer)

  include(GoogleTest)
  gtest_discover_tests(kx_link_usbcable_tests TEST_PREFIX "link.usb."
    PROPERTIES ENVIRONMENT "${KX_TEST_ENV}" TIMEOUT 60)
endif()
