// The device steps of the main window's creation and the texts of the
// start-up failures.
#pragma once

#include <string>
#include <string_view>

#include "app/core/DeviceSession.h"

namespace lumatrace {

// Message when a library could not be bound, naming the file looked for.
std::string LibraryLoadFailureText(std::string_view fileName);

// Outcome of the device steps: whether acquisition is possible, and the
// message shown once start-up has finished when it is not.
struct DeviceStartup {
    bool deviceReady = true;
    std::string message;
};

// Opens the first instrument; on failure the message names the library's error.
void OpenInstrument(DeviceSession& session, DeviceStartup& startup);
// Reads the memory size of an opened instrument.
void ReadInstrumentMemory(DeviceSession& session, DeviceStartup& startup);

}  // namespace lumatrace
