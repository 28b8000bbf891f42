# The serial port as a link (a notifier on the port's descriptor, no thread), its low-latency
# request and note, and the enumeration of the machine's ports.
add_library(kx_link_serialport STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortLink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialLatency.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ComPortEnum.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/LowLatency.cpp
)
target_link_libraries(kx_link_serialport PUBLIC Qt6::Core kx_link_ports kx_platform)
