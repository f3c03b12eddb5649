#pragma once

// The serial-communications library the contact controller is reached through.
// Ports are numbered from 0 (COM1). Every operation takes the port first.

// Opens the port with receive and transmit queues of the given sizes; negative on failure.
int serialOpen(int port, int receiveQueueSize, int transmitQueueSize);

// Sets the line speed in baud; negative on failure.
int serialSetBaud(int port, int baud);

// Sets parity and stop-bit codes (0 and 0: no parity, one stop bit) and the data bits;
// negative on failure.
int serialSetLine(int port, int parityCode, int stopBitsCode, int dataBits);

// Closes the port.
int serialClose(int port);

// Queues one byte for sending; the result carries nothing the program relies on.
int serialSendByte(int port, int byte);

// Takes one received byte without waiting for one: 0 to 255, or negative when none is waiting.
int serialTakeByte(int port);
