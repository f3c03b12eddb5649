#pragma once

#include <cstdint>

// Milliseconds of the system clock; unsigned 32-bit, so it wraps every 49.7 days.
uint32_t clockMillis();
