#pragma once

#include <string>
#include <vector>

#include "contacts/contact_mask.h"

// Applies one line of signglove-board's standard input to the touching groups:
// `touch PAD...` adds a group, `untouch` clears them, `quit` sets quit; blank lines
// and # comments do nothing. Returns false, with the reason, for a line it cannot use.
bool boardCommand(const std::string& line, std::vector<ContactMask>& touching, bool& quit, std::string& error);
