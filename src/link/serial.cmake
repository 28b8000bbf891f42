# The serial port as a link (kx_link_serialport: a notifier on the port's descriptor, no thread),
# and the older COM-port driver with its watcher thread and the enumeration of the machine's
# ports (kx_link_serial), which uses the new library's low-latency request and note.
add_library(kx_link_serialport STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortLink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialLatency.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/LowLatency.cpp
)
target_link_libraries(kx_link_serialport PUBLIC Qt6::Core kx_link_ports kx_platform)

add_library(kx_link_serial STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SerialLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialWatcher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialWnd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialWndObj.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ComPortEnum.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/CommDevice.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/TermiosMap.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/LastError.cpp
)
target_link_libraries(kx_link_serial PUBLIC kx_link_serialport kx_platform kx_link_ports Qt6::Core
                      Threads::Threads)
