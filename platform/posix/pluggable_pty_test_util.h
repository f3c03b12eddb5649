// For tests: a pseudo-terminal standing in for a USB serial adapter that is unplugged
// and plugged in again, named through a link that moves to each new one in one step
// (as udev moves a /dev/serial/by-id/ name).
#pragma once

#include <gtest/gtest.h>
#include <pty.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

struct PluggablePty {
  int master = -1, slave = -1;

  // Opens a fresh pseudo-terminal and points `link` at it.
  void plugIn(const std::string& link) {
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    const std::string fresh = link + ".new";
    ASSERT_EQ(symlink(name, fresh.c_str()), 0);
    ASSERT_EQ(rename(fresh.c_str(), link.c_str()), 0);
  }
  // The other side goes away: the port's end hangs up.
  void unplug() {
    for (int* fd : {&master, &slave})
      if (*fd >= 0) close(*fd), *fd = -1;
  }
};
