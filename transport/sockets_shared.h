// What the two platform files of the socket layer write the same way. Each
// includes this after its own socket headers, which declare sockaddr_in,
// inet_addr and the byte-order functions on both platforms.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

namespace net {
namespace {

sockaddr_in makeAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    return sa;
}

// One IPv4 address of an interface, as the platform lists them.
struct InterfaceAddress {
    std::uint32_t own;
    std::uint32_t mask;
    std::uint32_t broadcast;
    bool upWithBroadcast;  // the interface is up and has the broadcast flag
};

// Whether address is 255.255.255.255 or the broadcast address of one of the
// interfaces. Only what surely means "broadcast" counts: an interface that is
// up with the broadcast flag, on a network of /30 or wider (a /31 link's far
// end and a /32 are single devices), whose broadcast address is none of this
// machine's own (Linux gives an interface configured without one its own).
bool isBroadcastAmong(const std::vector<InterfaceAddress>& interfaces, std::uint32_t address) {
    if (address == 0xFFFFFFFFu) return true;
    const auto own = [&](std::uint32_t a) {
        return std::any_of(interfaces.begin(), interfaces.end(), [a](const InterfaceAddress& i) { return i.own == a; });
    };
    return std::any_of(interfaces.begin(), interfaces.end(), [&](const InterfaceAddress& i) {
        return i.upWithBroadcast && (i.mask & 3u) == 0 && i.broadcast == address && !own(address);
    });
}

}  // namespace

bool parseIPv4(const char* text, std::uint32_t& address) {
    const auto a = ::inet_addr(text);
    if (a == INADDR_NONE) return false;
    address = ntohl(a);
    return true;
}

}  // namespace net
