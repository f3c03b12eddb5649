#pragma once

#include <string>
#include <vector>

#include "contacts/contact_mask.h"
#include "firmware/flex_glove_board.h"

// Applies one line of signglove-board's standard input to the touching groups:
// `touch PAD...` adds a group, `untouch` clears them, `quit` sets quit; blank lines
// and # comments do nothing. Returns false, with the reason, for a line it cannot use.
bool boardCommand(const std::string& line, std::vector<ContactMask>& touching, bool& quit, std::string& error);

// The same for signglove-board --glove: `bends T I M R L` (0 to 255) sets the fingers,
// `press BUTTON...` and `release BUTTON...` (A to D, or all) the buttons, `quit` sets quit.
bool gloveBoardCommand(const std::string& line, GloveHand& hand, bool& quit, std::string& error);
