// Picks the kernel interface the driver is compiled against: the kernel headers of MinGW-w64 for
// the real driver, or the host kernel model (driver/host) for the user-mode build. Nothing else
// in the driver differs between the two builds. (MinGW-w64's usb headers lack C++ guards, hence
// the extern "C" around them.)
#pragma once

#if defined(ZEP9100_HOST_KERNEL)
#include "driver/host/Usb.h"
#include "driver/host/Wdm.h"
#else
#include <ntddk.h>
extern "C" {
#include <usb.h>
#include <usbdlib.h>
#include <usbioctl.h>
}
#endif
