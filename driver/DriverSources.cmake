# Sources of zep9100.sys, shared by the host build (driver/) and the Windows build (windows/), so
# that both compile exactly the same files.
set(ZEP9100_DRIVER_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ZEP9100_DRIVER_SOURCES
  ${ZEP9100_DRIVER_DIR}/ControlInterface.cpp
  ${ZEP9100_DRIVER_DIR}/DeviceState.cpp
  ${ZEP9100_DRIVER_DIR}/DriverEntry.cpp
  ${ZEP9100_DRIVER_DIR}/Pnp.cpp
  ${ZEP9100_DRIVER_DIR}/Power.cpp
  ${ZEP9100_DRIVER_DIR}/UsbTransfer.cpp)
