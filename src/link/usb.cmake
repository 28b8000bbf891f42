# The USB cable driver over FTDI's D2XX library, which it loads at run time.
add_library(kx_link_usb STATIC
  ${CMAKE_CURRENT_LIST_DIR}/UsbCable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UsbReader.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/DynamicLibrary.cpp
)
target_link_libraries(kx_link_usb PUBLIC kx_platform kx_link_ports Qt6::Core Threads::Threads ${CMAKE_DL_LIBS})
