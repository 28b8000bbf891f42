# The COM-port driver with its watcher thread, and the enumeration of the machine's ports.
add_library(kx_link_serial STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SerialLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialWatcher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialWnd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialWndObj.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ComPortEnum.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/CommDevice.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/LowLatency.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialLatency.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/TermiosMap.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/LastError.cpp
)
target_link_libraries(kx_link_serial PUBLIC kx_platform kx_link_ports Qt6::Core Threads::Threads)
