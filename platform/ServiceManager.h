// What a service manager that started the program wants to hear from it (systemd's
// notification protocol): that it is ready, once it serves, and that it is stopping.
// Started any other way, none of this does anything.
#pragma once

#include <string_view>

namespace pelorin::platform {

// True when a service manager waits for the program to say it is ready; it then takes a
// program that ends before that as failed.
bool ServiceManagerWaits();

// Tells the service manager "READY=1" or "STOPPING=1"; nothing without one.
void TellServiceManager(std::string_view state);

}  // namespace pelorin::platform
