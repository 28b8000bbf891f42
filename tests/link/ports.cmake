# Tests of port descriptions and open-failure sentences on fake trees (no Qt, so that the
# unprivileged test may fork); plug events are tested through umockdev (tests/hotplug).
find_package(GTest REQUIRED)
add_executable(kx_link_ports_tests
  ${CMAKE_CURRENT_LIST_DIR}/FakeSystemTree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortDiagnosisTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortDescriptionTest.cpp
)
target_link_libraries(kx_link_ports_tests PRIVATE kx_link_ports GTest::gtest_main)
# Keeps helpers of the same names as PortDiagnosisTest.cpp: compiled on its own in unity builds.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/PortDescriptionTest.cpp
  PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)

include(GoogleTest)
gtest_discover_tests(kx_link_ports_tests TEST_PREFIX "link.ports."
  PROPERTIES ENVIRONMENT "${KX_TEST_ENV}" TIMEOUT 60 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
