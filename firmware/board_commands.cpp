#include "firmware/board_commands.h"

#include <iterator>
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


namespace {

// Sets the buttons the words name (A to D, or all) to down; false, with the reason, for
// any other word or none.
bool setButtons(std::istringstream& words, GloveHand& hand, uint8_t down, std::string& error) {
  bool any = false;
  for (std::string name; words >> name; any = true) {
    if (name == "all") {
      for (uint8_t& button : hand.buttons) button = down;
    } else if (name.size() == 1 && name[0] >= 'A' && name[0] < 'A' + static_cast<int>(std::size(hand.buttons))) {
      hand.buttons[name[0] - 'A'] = down;
    } else {
      error = "no button named " + name;
      return false;
    }
  }
  if (!any) error = "name the buttons (A B C D, or all)";
  return any;
}

}  // namespace

bool gloveBoardCommand(const std::string& line, GloveHand& hand, bool& quit, std::string& error) {
  std::istringstream words(line.substr(0, line.find('#')));
  std::string command;
  if (!(words >> command)) return true;
  GloveHand next = hand;
  if (command == "quit") {
    quit = true;
  } else if (command == "press" || command == "release") {
    if (!setButtons(words, next, command == "press", error)) return false;
  } else if (command == "bends") {
    for (uint8_t& bend : next.bend) {
      int value = -1;
      if (!(words >> value) || value < 0 || value > 255) {
        error = "bends takes five numbers from 0 to 255 (thumb index middle ring little)";
        return false;
      }
      bend = static_cast<uint8_t>(value);
    }
    if (std::string extra; words >> extra) {
      error = "bends takes five numbers, not " + extra;
      return false;
    }
  } else {
    error = "unknown command " + command;
    return false;
  }
  hand = next;
  return true;
}
