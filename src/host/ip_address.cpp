#include "host/ip_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace xg {

bool IpAddress::operator==(const IpAddress& other) const {
  return family == other.family && std::memcmp(bytes, other.bytes, family == AF_INET ? 4 : 16) == 0;
}

IpAddress AddressOf(const sockaddr_storage& socket_address) {
  IpAddress address;
  if (socket_address.ss_family == AF_INET) {
    address.family = AF_INET;
    std::memcpy(address.bytes, &reinterpret_cast<const sockaddr_in&>(socket_address).sin_addr, 4);
  } else if (socket_address.ss_family == AF_INET6) {
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(socket_address).sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
      address.family = AF_INET;
      std::memcpy(address.bytes, v6.s6_addr + 12, 4);
    } else {
      address.family = AF_INET6;
      std::memcpy(address.bytes, v6.s6_addr, 16);
    }
  }
  return address;
}

IpAddress ParseAddress(const std::string& text) {
  IpAddress address;
  if (::inet_pton(AF_INET, text.c_str(), address.bytes) == 1) {
    address.family = AF_INET;
  } else if (::inet_pton(AF_INET6, text.c_str(), address.bytes) == 1) {
    sockaddr_storage storage{};
    storage.ss_family = AF_INET6;
    std::memcpy(&reinterpret_cast<sockaddr_in6&>(storage).sin6_addr, address.bytes, 16);
    address = AddressOf(storage);
  }
  return address;
}

bool IsLoopback(const IpAddress& address) {
  static const unsigned char kIpv6Loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  if (address.family == AF_INET) return address.bytes[0] == 127;
  return address.family == AF_INET6 && std::memcmp(address.bytes, kIpv6Loopback, 16) == 0;
}

std::string AddressText(const IpAddress& address) {
  char text[INET6_ADDRSTRLEN] = "";
  ::inet_ntop(address.family, address.bytes, text, sizeof text);
  return text;
}

}  // namespace xg
