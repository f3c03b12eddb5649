#include "simulator/loose_ends.h"

#include "simulator/world.h"

std::vector<std::string> worldLooseEnds() {
  std::vector<std::string> ends;
  if (world.portOpen) ends.emplace_back("left open: serial port COM1");
  if (world.gloveOpen) ends.emplace_back("left open: glove library");
  if (world.mouseEmulationOn) ends.emplace_back("never switched off: mouse emulation of glove device 0");
  return ends;
}
