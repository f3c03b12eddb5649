#include "drivers/keys_contacts.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <limits>

#include "contacts/contact_packet.h"
#include "simulator/timing.h"

namespace {

// Requests sent back to back beyond these are lost, as a controller busy answering
// loses them.
constexpr size_t kMostWaitingReplies = 3;

}  // namespace

bool keysContactsOpen(KeysContacts& contacts, const std::string& link, std::string& error) {
  contacts = KeysContacts{};
  struct stat there {};
  if (lstat(link.c_str(), &there) == 0 && !S_ISLNK(there.st_mode)) {
    error = link + " exists and is not a link: not replaced";
    return false;
  }
  if (!ptyOpen(contacts.pty, error)) return false;
  unlink(link.c_str());
  if (symlink(contacts.pty.slavePath.c_str(), link.c_str()) != 0) {
    error = "cannot link " + link + ": " + std::strerror(errno);
    ptyClose(contacts.pty);
    return false;
  }
  contacts.link = link;
  return true;
}

int keysContactsDescriptor(const KeysContacts& contacts) { return contacts.pty.master; }

void keysContactsServe(KeysContacts& contacts, ContactController& pads, int64_t nowMicros) {
  uint8_t bytes[256];
  for (;;) {
    const ssize_t count = read(contacts.pty.master, bytes, sizeof bytes);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    for (ssize_t index = 0; index < count; ++index) {
      if (bytes[index] != kRequestByte || contacts.replies.size() == kMostWaitingReplies) continue;
      KeysContacts::Reply reply;
      controllerWriteReply(pads, reply.bytes);
      const int64_t start = contacts.replies.empty() ? nowMicros : std::max(nowMicros, contacts.replies.back().dueMicros);
      reply.dueMicros = start + lineMicros(1) + kControllerScanMicros + lineMicros(static_cast<int64_t>(reply.bytes.size()));
      contacts.replies.push_back(std::move(reply));
    }
  }
  while (!contacts.replies.empty() && contacts.replies.front().dueMicros <= nowMicros) {
    const std::vector<uint8_t>& reply = contacts.replies.front().bytes;
    size_t sent = 0;
    while (sent < reply.size()) {
      const ssize_t count = write(contacts.pty.master, reply.data() + sent, reply.size() - sent);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) break;  // nobody reads: the reply is lost, as on a line
      sent += static_cast<size_t>(count);
    }
    contacts.replies.pop_front();
  }
}

int64_t keysContactsNextDue(const KeysContacts& contacts) {
  return contacts.replies.empty() ? std::numeric_limits<int64_t>::max() : contacts.replies.front().dueMicros;
}

void keysContactsClose(KeysContacts& contacts) {
  if (!contacts.link.empty()) unlink(contacts.link.c_str());
  ptyClose(contacts.pty);
  contacts = KeysContacts{};
}
