#include "drivers/osc_receiver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "drivers/osc_decoding.h"

bool oscReceiverOpen(OscReceiver& receiver, const std::string& address, int port, std::string& error) {
  receiver = OscReceiver{};
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int failure = getaddrinfo(address.c_str(), service.c_str(), &hints, &found); failure != 0) {
    error = "'" + address + "' is not a numeric IPv4 or IPv6 address: " + gai_strerror(failure);
    return false;
  }
  const int fd = socket(found->ai_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const bool bound = fd >= 0 && bind(fd, found->ai_addr, found->ai_addrlen) == 0;
  const int bindError = errno;
  freeaddrinfo(found);
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (!bound || getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    error = "cannot listen for OSC on " + address + " port " + service + ": " + std::strerror(bound ? errno : bindError);
    if (fd >= 0) close(fd);
    return false;
  }
  receiver.fd = fd;
  receiver.port = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(local).sin6_port
                                                    : reinterpret_cast<sockaddr_in&>(local).sin_port);
  return true;
}

void oscReceiverDrain(OscReceiver& receiver, GloveFieldSet allowed, GloveRecord& record, DriverCounts& counts) {
  // One byte more than the largest datagram taken, so that a longer one shows as such.
  unsigned char datagram[kLargestOscDatagram + 1];
  for (;;) {
    const ssize_t size = recv(receiver.fd, datagram, sizeof datagram, MSG_TRUNC);
    if (size < 0 && errno == EINTR) continue;
    if (size < 0) return;
    oscApplyDatagram(datagram, static_cast<size_t>(size), allowed, record, counts);
  }
}

void oscReceiverClose(OscReceiver& receiver) {
  if (receiver.fd >= 0) close(receiver.fd);
  receiver = OscReceiver{};
}
