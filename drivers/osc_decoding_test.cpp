// OSC decoding on loopback: messages sent with liblo, and malformed datagrams sent raw,
// to a receiver on 127.0.0.1.

#include <lo/lo.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "drivers/osc_decoding.h"
#include "drivers/osc_receiver.h"

namespace {

// A failure bound only: a datagram on loopback arrives at once.
constexpr int kArrivalMillis = 2000;

class OscLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(oscReceiverOpen(receiver_, kDefaultOscAddress, 0, error)) << error;
    target_ = lo_address_new("127.0.0.1", std::to_string(receiver_.port).c_str());
    raw_ = socket(AF_INET, SOCK_DGRAM, 0);
  }
  void TearDown() override {
    lo_address_free(target_);
    close(raw_);
    oscReceiverClose(receiver_);
  }

  // Sends, then takes what arrives until one more message has been counted.
  void deliver(const std::function<void()>& send, GloveFieldSet allowed = kAllGloveFields) {
    const int64_t before = counts_.used + counts_.skipped;
    send();
    while (counts_.used + counts_.skipped == before) {
      pollfd ready{receiver_.fd, POLLIN, 0};
      ASSERT_EQ(poll(&ready, 1, kArrivalMillis), 1) << "nothing arrived";
      oscReceiverDrain(receiver_, allowed, record_, counts_);
    }
  }

  void sendRaw(const std::vector<unsigned char>& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(receiver_.port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(raw_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }

  OscReceiver receiver_;
  lo_address target_ = nullptr;
  int raw_ = -1;
  GloveRecord record_{};
  DriverCounts counts_;
};

std::vector<double> fieldsOf(const GloveRecord& record) {
  std::vector<double> values;
  for (int field = 0; field < kGloveFields; ++field) values.push_back(gloveFieldValue(record, field));
  return values;
}

TEST_F(OscLoopback, EachAddressSetsItsOwnFieldsFromInt32OrFloat32) {
  deliver([&] {
    lo_send(target_, "/signglove/glove", "fffiiiififfiiii", 10.5f, 350.f, 400.f, 0, 30, 50, 1, 25.4f, 60, 63.f, 0.f, 1,
            0, 0, 7);
  });
  EXPECT_EQ(fieldsOf(record_), (std::vector<double>{10.5, 350, 400, 0, 30, 50, 1, 25, 60, 63, 0, 1, 0, 0, 1}));
  deliver([&] { lo_send(target_, "/signglove/position", "iif", -20, 700, 100.25f); });
  deliver([&] { lo_send(target_, "/signglove/angles", "fff", 5.f, -35.f, 950.f); });
  deliver([&] { lo_send(target_, "/signglove/bends", "iiiii", 300, -5, 2, 3, 4); });
  deliver([&] { lo_send(target_, "/signglove/buttons", "iiii", 0, 1, 1, 0); });
  EXPECT_EQ(fieldsOf(record_), (std::vector<double>{-20, 700, 100.25, 5, -35, 950, 255, 0, 2, 3, 4, 0, 1, 1, 0}));
  EXPECT_EQ(counts_.used, 5);
  EXPECT_EQ(counts_.skipped, 0);
}

TEST_F(OscLoopback, OnlyTheAllowedFieldsChange) {
  // A serial glove gives the bends and buttons; OSC gives the rest.
  const GloveFieldSet fromOsc = gloveFieldBit(kFieldX) | gloveFieldBit(kFieldY) | gloveFieldBit(kFieldZ) |
                                gloveFieldBit(kFieldA1) | gloveFieldBit(kFieldA2) | gloveFieldBit(kFieldA3);
  deliver([&] { lo_send(target_, "/signglove/glove", "iiiiiiiiiiiiiii", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 1, 1, 1, 1); },
          fromOsc);
  EXPECT_EQ(fieldsOf(record_), (std::vector<double>{1, 2, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(OscLoopback, BundlesAreOpened) {
  deliver([&] {
    lo_bundle bundle = lo_bundle_new(LO_TT_IMMEDIATE);
    lo_message bends = lo_message_new(), buttons = lo_message_new();
    for (int bend : {1, 2, 3, 4, 5}) lo_message_add_int32(bends, bend);
    for (int button : {1, 0, 0, 1}) lo_message_add_int32(buttons, button);
    lo_bundle_add_message(bundle, "/signglove/bends", bends);
    lo_bundle_add_message(bundle, "/signglove/buttons", buttons);
    lo_send_bundle(target_, bundle);
    lo_bundle_free_recursive(bundle);
  });
  while (counts_.used < 2) deliver([] {});
  EXPECT_EQ(fieldsOf(record_), (std::vector<double>{0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 1, 0, 0, 1}));
}

TEST_F(OscLoopback, MalformedMessagesAreCountedAndChangeNothing) {
  deliver([&] { lo_send(target_, "/signglove/bends", "iiiii", 9, 9, 9, 9, 9); });
  const std::vector<double> before = fieldsOf(record_);
  const std::vector<std::function<void()>> malformed = {
      [&] { lo_send(target_, "/signglove/bends", "iiii", 1, 2, 3, 4); },                  // too few
      [&] { lo_send(target_, "/signglove/bends", "iiiiii", 1, 2, 3, 4, 5, 6); },          // too many
      [&] { lo_send(target_, "/signglove/bends", "iiiis", 1, 2, 3, 4, "five"); },         // not a number
      [&] { lo_send(target_, "/signglove/bends", "iiiif", 1, 2, 3, 4, 0.0f / 0.0f); },     // NaN
      [&] { lo_send(target_, "/signglove/position", "fff", 1.f, 2.f, 1e30f); },            // beyond any hand
      [&] { lo_send(target_, "/signglove/elbow", "iii", 1, 2, 3); },                       // another address
      [&] { sendRaw({'/', 's', 'i', 'g'}); },                                              // not OSC
      [&] { sendRaw(std::vector<unsigned char>(kLargestOscDatagram + 1, 0)); },           // too long
      [&] { sendRaw({'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0}); },  // cut short
  };
  for (size_t index = 0; index < malformed.size(); ++index) {
    deliver(malformed[index]);
    EXPECT_EQ(counts_.skipped, static_cast<int64_t>(index + 1)) << "case " << index;
    EXPECT_EQ(fieldsOf(record_), before) << "case " << index;
  }
  EXPECT_EQ(counts_.used, 1);
}

TEST(OscReceiver, RefusesAnAddressThatIsNotNumeric) {
  OscReceiver receiver;
  std::string error;
  EXPECT_FALSE(oscReceiverOpen(receiver, "localhost", 0, error));
  EXPECT_NE(error.find("not a numeric IPv4 or IPv6 address"), std::string::npos) << error;
}

}  // namespace
