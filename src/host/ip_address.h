// IP addresses in one form for comparing, as FastCGI peers and the status page's clients are
// checked against the configuration's lists: an IPv4 address mapped into IPv6 is the IPv4 address.
#pragma once

#include <sys/socket.h>

#include <string>

namespace xg {

struct IpAddress {
  int family = AF_UNSPEC;
  unsigned char bytes[16] = {};
  bool operator==(const IpAddress& other) const;
};

// The IP address of a socket address; family AF_UNSPEC for another kind (a Unix socket).
IpAddress AddressOf(const sockaddr_storage& socket_address);
// The address a numeric text names; family AF_UNSPEC for any other text.
IpAddress ParseAddress(const std::string& text);
bool IsLoopback(const IpAddress& address);
// The address's numeric text (an IPv6 one without brackets).
std::string AddressText(const IpAddress& address);

}  // namespace xg
