#pragma once

// For tests: signglove-glove run as a user runs it, with its standard streams on pipes.

#include <sys/types.h>

#include <string>
#include <vector>

struct DriverProcess {
  pid_t pid = -1;
  int input = -1;   // its standard input
  int output = -1;  // its standard output
  int errors = -1;  // its standard error
};

// Starts the driver with these arguments and NAME=VALUE settings added to the environment.
bool driverProcessStart(DriverProcess& driver, const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment = {});

// The next line the driver writes on fd (its output or errors); empty once it has ended
// or after 10 s.
std::string driverProcessLine(int fd);

// Sends the signal (0: none) and waits for the driver: its exit status, or -1 when a
// signal ended it. What it wrote on standard error and nobody read goes to *errors.
int driverProcessEnd(DriverProcess& driver, int signal, std::string* errors = nullptr);
