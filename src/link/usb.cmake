# The USB cable driver over FTDI's D2XX library, which it loads at run time.
add_library(kx_link_usb STATIC
  ${CMAKE_CURRENT_LIST_DIR}/UsbCable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UsbReader.cpp
)
target_link_libraries(kx_link_usb PUBLIC kx_platform kx_link_ports Qt6::Core Threads::Threads ${CMAKE_DL_LIBS})

# The USB cable as a native link: the D2XX binding, the bridge thread that waits on the
# library's event, and the link that reads on the engine's thread.
add_library(kx_link_usbcable STATIC
  ${CMAKE_CURRENT_LIST_DIR}/D2xxLibrary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/D2xxBridge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UsbCableLink.cpp
)
target_link_libraries(kx_link_usbcable PUBLIC kx_platform kx_link_ports Qt6::Core Threads::Threads ${CMAKE_DL_LIBS})
