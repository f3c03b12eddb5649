// For tests: a pseudo-terminal standing in for a USB serial adapter that is unplugged
// and plugged in again, named through a link in a folder of its own that moves to each
// new one in one step (as udev moves a /dev/serial/by-id/ name).
#pragma once

#include <gtest/gtest.h>
#include <pty.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/posix/serial_posix.h"

struct PluggablePty {
  int master = -1, slave = -1;
  std::string folder, link;

  // Lets the serial ports open pseudo-terminals again as they would an adapter, makes a
  // fresh folder and plugs a pseudo-terminal in behind the link `name` there.
  void setUp(const std::string& name) {
    serialTestPseudoTerminalsAsAdapters(true);
    char pattern[] = "/tmp/signglove-serial-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    link = folder + "/" + name;
    plugIn();
  }
  // Undoes setUp, once the port using the link is closed.
  void tearDown() {
    unplug();
    unlink(link.c_str());
    rmdir(folder.c_str());
    serialTestPseudoTerminalsAsAdapters(false);
  }
  // Opens a fresh pseudo-terminal and points the link at it.
  void plugIn() {
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
