# Tests of the USB cable driver against the simulated D2XX library (needs sim/ftd2xx).
if(TARGET kx_sim_ftd2xx AND TARGET kx_test_main)
  add_executable(kx_link_usb_tests
    ${CMAKE_CURRENT_LIST_DIR}/UsbTestOwner.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UsbCableBindingTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UsbCableOpenTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UsbCableReceiveTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UsbReaderTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimCableTest.cpp
  )
  target_link_libraries(kx_link_usb_tests PRIVATE
    kx_link_usb kx_sim_ftd2xx_client kx_unit_sim kx_test_main GTest::gtest)
  target_include_directories(kx_link_usb_tests PRIVATE ${CMAKE_SOURCE_DIR}/sim)
  target_compile_definitions(kx_link_usb_tests PRIVATE
    KX_SIM_FTD2XX="$<TARGET_FILE:kx_sim_ftd2xx>"
    KX_SIM_FTD2XX_NO_CLRRTS="$<TARGET_FILE:kx_sim_ftd2xx_no_clrrts>"
    KX_SIM_FTD2XX_NO_GETSTATUS="$<TARGET_FILE:kx_sim_ftd2xx_no_getstatus>"
    KX_SIM_FTD2XX_NO_SETEVENTNOTIFICATION="$<TARGET_FILE:kx_sim_ftd2xx_no_seteventnotification>"
    KX_SIM_FTD2XX_NO_WRITE="$<TARGET_FILE:kx_sim_ftd2xx_no_write>"
    KX_SIM_FTD2XX_NO_SETLATENCYTIMER="$<TARGET_FILE:kx_sim_ftd2xx_no_setlatencytimer>")
  add_dependencies(kx_link_usb_tests kx_sim_ftd2xx kx_sim_ftd2xx_no_clrrts
    kx_sim_ftd2xx_no_getstatus kx_sim_ftd2xx_no_seteventnotification kx_sim_ftd2xx_no_write
    kx_sim_ftd2xx_no_setlatencytimer)

  include(GoogleTest)
  gtest_discover_tests(kx_link_usb_tests TEST_PREFIX "link.usb."
    PROPERTIES ENVIRONMENT "${KX_TEST_ENV}" TIMEOUT 60)
  # The library found by its plain name on the search path, as the program finds it.
  add_test(NAME link.usb.DefaultLibraryName
    COMMAND kx_link_usb_tests --gtest_filter=UsbCableBinding.DefaultNameIsFoundOnTheLibraryPath)
  set_tests_properties(link.usb.DefaultLibraryName PROPERTIES
    ENVIRONMENT "${KX_TEST_ENV};KX_TEST_SIM_ON_LIBRARY_PATH=1;LD_LIBRARY_PATH=$<TARGET_FILE_DIR:kx_sim_ftd2xx>"
    SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
    TIMEOUT 60)
endif()

# Tests of the USB cable link against the simulated D2XX library (Qt Core only).
if(TARGET kx_sim_ftd2xx AND TARGET kx_link_usbcable)
  add_executable(kx_link_usbcable_tests ${CMAKE_CURRENT_LIST_DIR}/UsbCableLinkTest.cpp)
  target_link_libraries(kx_link_usbcable_tests PRIVATE
    kx_link_usbcable kx_sim_ftd2xx_client kx_unit_sim GTest::gtest)
  target_include_directories(kx_link_usbcable_tests PRIVATE ${CMAKE_SOURCE_DIR}/sim)
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
