// A driver opened as a host opens it for work: found by name, created and initialised.
#pragma once

#include <string>

#include "asio_host/asio_driver.h"

// Null with `error` set when no driver of that name (compared without case) is
// registered for this bitness, COM refuses to create it, or init fails.
IAsioDriver* OpenDriver(const std::string& name, std::string& error);
