#pragma once

// The contact controller of a keyboard glove, for trying the program with no hardware
// at all: on a pseudo-terminal, linked at a path the program opens as COM1
// (SIGNGLOVE_COM1), it answers each request with the pads of the handshape held, as
// the simulator's controller does and at its pace (the request and the reply on a
// 9600-baud line, the scan between them).

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "rig/pty.h"
#include "simulator/contact_controller.h"

struct KeysContacts {
  Pty pty;
  std::string link;  // the path linked to the pseudo-terminal
  struct Reply {
    int64_t dueMicros;
    std::vector<uint8_t> bytes;
  };
  std::deque<Reply> replies;  // composed at each request, sent once the line would have carried them
};

// Opens the pseudo-terminal and links `link` to it; false with the reason in error. An
// existing file at `link` is replaced only when it is a symbolic link (an earlier run's).
bool keysContactsOpen(KeysContacts& contacts, const std::string& link, std::string& error);

// The descriptor on which requests arrive.
int keysContactsDescriptor(const KeysContacts& contacts);

// Takes the requests that have come, answering each from the pads as they are now, and
// sends the replies due by now.
void keysContactsServe(KeysContacts& contacts, ContactController& pads, int64_t nowMicros);

// When the next reply is due; INT64_MAX when none is waiting.
int64_t keysContactsNextDue(const KeysContacts& contacts);

// Closes the pseudo-terminal and removes the link.
void keysContactsClose(KeysContacts& contacts);
