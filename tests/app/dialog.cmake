# The main dialog driven through its real controls (offscreen).
add_library(kx_dialog_fixture STATIC DialogFixture.cpp DialogFixture.h WindowPage.h)
target_include_directories(kx_dialog_fixture PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kx_dialog_fixture PUBLIC kx_app kx_test_support GTest::gtest)

# With Update History… (the table of recorded updates, its Copy and Export) in the same program.
add_executable(kx_app_dialog_tests DownloaderDlgTest.cpp HandOverTest.cpp HistoryDlgTest.cpp)
target_link_libraries(kx_app_dialog_tests PRIVATE kx_dialog_fixture kx_test_main)
gtest_discover_tests(kx_app_dialog_tests TEST_PREFIX "app." DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "${KX_TEST_ENV}")
