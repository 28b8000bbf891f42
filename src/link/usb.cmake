# The USB cable as a link: FTDI's D2XX library bound at run time, the bridge thread that waits on
# the library's event, and the link that reads on the engine's thread.
add_library(kx_link_usbcable STATIC
  ${CMAKE_CURRENT_LIST_DIR}/D2xxLibrary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/D2xxBridge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UsbCableLink.cpp
)
target_link_libraries(kx_link_usbcable PUBLIC kx_platform kx_link_ports Qt6::Core Threads::Threads ${CMAKE_DL_LIBS})
