#pragma once

// Serial ports of the POSIX backend: port 0 (COM1) is /dev/ttyS0 (or the device the
// build names in SIGNGLOVE_COM1), port 1 /dev/ttyS1 and so on, unless a device is named for the port here (the tests use a pseudo-terminal).
void serialUseDevice(int port, const char* path);
