#include "firmware/board_commands.h"

#include <sstream>

#include "firmware/board.h"

bool boardCommand(const std::string& line, std::vector<ContactMask>& touching, bool& quit, std::string& error) {
  std::istringstream words(line.substr(0, line.find('#')));
  std::string command;
  if (!(words >> command)) return true;
  if (command == "quit") {
    quit = true;
  } else if (command == "untouch") {
    touching.clear();
  } else if (command == "touch") {
    ContactMask group = 0;
    for (std::string name; words >> name;) {
      const ContactMask pad = padMaskByName(name);
      if (!pad) {
        error = "no pad named " + name;
        return false;
      }
      group |= pad;
    }
    if (!group) {
      error = "touch needs the pads that touch";
      return false;
    }
    touching.push_back(group);
  } else {
    error = "unknown command " + command;
    return false;
  }
  return true;
}

