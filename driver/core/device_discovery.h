// Device discovery: builds the device tree from the system's kernel-streaming audio
// devices.
#pragma once

// Resets the arena and builds the tree of the devices that match the OEM hardware id,
// with their stored settings. Runs under the driver lock.
void EnumerateDevices();
