# Tests of the serial port link on real pseudo-terminals, one of them with kx410-sim, and of the
# port enumeration on a fake device tree; Qt Core only, with a main of their own.
add_executable(kx_link_serialport_tests
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortTestMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PtyPair.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FakeSystemTree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortLinkTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortSimConversationTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ComPortEnumTest.cpp
  ${CMAKE_SOURCE_DIR}/tests/sim/SimProcess.cpp
)
target_include_directories(kx_link_serialport_tests PRIVATE
  ${CMAKE_SOURCE_DIR}/tests/sim ${CMAKE_SOURCE_DIR}/tests/support)
target_link_libraries(kx_link_serialport_tests PRIVATE
  kx_link_serialport kx_unit_sim Qt6::Core GTest::gtest)
target_compile_definitions(kx_link_serialport_tests PRIVATE
  KX410_SIM_PATH="$<TARGET_FILE:kx410-sim>")
add_dependencies(kx_link_serialport_tests kx410-sim)
include(GoogleTest)
gtest_discover_tests(kx_link_serialport_tests TEST_PREFIX "link.serialport."
  PROPERTIES ENVIRONMENT "${KX_TEST_ENV}" TIMEOUT 60)
