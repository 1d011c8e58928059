// What the two platform files of the socket layer write the same way. Each
// includes this after its own socket headers, which declare sockaddr_in,
// inet_addr and the byte-order functions on both platforms.
#pragma once

namespace net {
namespace {

sockaddr_in makeAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    return sa;
}

}  // namespace

Report::Kind icmpKind(std::uint8_t type, std::uint8_t code) {
    if (type == 11) return Report::TimeExceeded;
    if (type != 3) return Report::Other;
    switch (code) {
        case 3: return Report::PortUnreachable;
        case 0: case 6: case 11: return Report::NetworkUnreachable;
        case 1: case 7: case 12: return Report::HostUnreachable;
        case 9: case 10: case 13: return Report::Prohibited;
        default: return Report::Other;
    }
}

bool parseIPv4(const char* text, std::uint32_t& address) {
    const auto a = ::inet_addr(text);
    if (a == INADDR_NONE) return false;
    address = ntohl(a);
    return true;
}

}  // namespace net
