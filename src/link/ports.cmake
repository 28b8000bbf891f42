# What the system says about ports and cables: descriptions and lasting names from sysfs, why
# an open failed and what to do (kx_link_ports, no Qt), and plug events (kx_link_hotplug).
add_library(kx_link_ports STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SystemRoots.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LinkError.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UsbSysfs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortUsers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortDiagnosis.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CableDiagnosis.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortDescription.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortFacts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TetherixDevices.cpp
)

find_package(PkgConfig REQUIRED)
pkg_check_modules(UDEV REQUIRED IMPORTED_TARGET libudev)
add_library(kx_link_hotplug STATIC
  ${CMAKE_CURRENT_LIST_DIR}/HotplugMonitor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HotplugMonitor.h
  ${CMAKE_CURRENT_LIST_DIR}/UdevEventSource.cpp
)
target_link_libraries(kx_link_hotplug PUBLIC Qt6::Core PRIVATE PkgConfig::UDEV)
