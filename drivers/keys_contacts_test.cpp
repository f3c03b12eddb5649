#include "drivers/keys_contacts.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contacts/contact_packet.h"
#include "simulator/timing.h"

namespace {

// What the program's side of the line has received, waiting a little for it.
std::vector<uint8_t> received(int fd, int waitMillis) {
  std::vector<uint8_t> bytes;
  pollfd ready{fd, POLLIN, 0};
  while (poll(&ready, 1, waitMillis) == 1) {
    uint8_t chunk[64];
    const ssize_t count = read(fd, chunk, sizeof chunk);
    if (count <= 0) break;
    bytes.insert(bytes.end(), chunk, chunk + count);
    waitMillis = 50;
  }
  return bytes;
}

TEST(KeysContacts, AnswersARequestWithThePadsOnceTheLineWouldHaveCarriedIt) {
  const std::string link = "/tmp/signglove-keys-com1-" + std::to_string(getpid());
  KeysContacts contacts;
  std::string error;
  ASSERT_TRUE(keysContactsOpen(contacts, link, error)) << error;
  const int program = open(link.c_str(), O_RDWR | O_NOCTTY);  // as the program opens COM1
  ASSERT_GE(program, 0);
  ContactController pads;
  controllerTouch(pads, 0x0016);
  const std::vector<uint8_t> expected = controllerReply(pads);

  ASSERT_EQ(write(program, &kRequestByte, 1), 1);
  ASSERT_EQ(poll(std::vector<pollfd>{{keysContactsDescriptor(contacts), POLLIN, 0}}.data(), 1, 1000), 1);
  keysContactsServe(contacts, pads, 0);
  const int64_t due = lineMicros(1) + kControllerScanMicros + lineMicros(static_cast<int64_t>(expected.size()));
  EXPECT_EQ(keysContactsNextDue(contacts), due);
  keysContactsServe(contacts, pads, due - 1);
  EXPECT_TRUE(received(program, 20).empty());  // not yet: the line is still carrying it
  keysContactsServe(contacts, pads, due);
  EXPECT_EQ(received(program, 1000), expected);

  close(program);
  keysContactsClose(contacts);
  EXPECT_NE(access(link.c_str(), F_OK), 0);  // the link goes with it
}

TEST(KeysContacts, NeverReplacesAFileThatIsNotALink) {
  const std::string path = "/tmp/signglove-keys-file-" + std::to_string(getpid());
  close(open(path.c_str(), O_CREAT | O_WRONLY, 0600));
  KeysContacts contacts;
  std::string error;
  EXPECT_FALSE(keysContactsOpen(contacts, path, error));
  EXPECT_EQ(error, path + " exists and is not a link: not replaced");
  EXPECT_EQ(access(path.c_str(), F_OK), 0);
  unlink(path.c_str());
}

}  // namespace
