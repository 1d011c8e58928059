// The socket layer over BSD sockets.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "transport/sockets.h"

namespace net {

const SocketHandle kInvalidSocket = ~SocketHandle{0};
const int kMessageTooLong = EMSGSIZE;
const int kAddressInUse = EADDRINUSE;
const int kNotASocket = EBADF;

namespace {
int fd(SocketHandle handle) { return static_cast<int>(handle); }

sockaddr_in makeAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    return sa;
}
}  // namespace

int startup() { return 0; }
void cleanup() {}
int lastError() { return errno; }

void closeSocket(SocketHandle handle) {
    if (handle != kInvalidSocket) ::close(fd(handle));
}

SocketHandle openUdpSocket() {
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    return s < 0 ? kInvalidSocket : static_cast<SocketHandle>(s);
}

int enableBroadcast(SocketHandle handle) {
    const std::int32_t on = 1;
    return ::setsockopt(fd(handle), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

int bindAny(SocketHandle handle, std::uint16_t port) {
    const sockaddr_in local = makeAddress(INADDR_ANY, port);
    return ::bind(fd(handle), reinterpret_cast<const sockaddr*>(&local), sizeof local);
}

std::uint16_t localPort(SocketHandle handle) {
    sockaddr_in local;
    socklen_t length = sizeof local;
    if (::getsockname(fd(handle), reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

bool parseIPv4(const char* text, std::uint32_t& address) {
    const in_addr_t a = ::inet_addr(text);
    if (a == INADDR_NONE) return false;
    address = ntohl(a);
    return true;
}

bool lookupIPv4(const char* name, std::uint32_t& address) {
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) {
        errno = EHOSTUNREACH;
        return false;
    }
    address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(found);
    return true;
}

int sendTo(SocketHandle handle, const std::uint8_t* bytes, std::size_t length, std::uint32_t address,
           std::uint16_t port) {
    const sockaddr_in peer = makeAddress(address, port);
    const ssize_t sent = ::sendto(fd(handle), bytes, length, 0, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

Wait waitReadable(SocketHandle handle, int timeoutMs) {
    // poll() rather than select(): no descriptor set to fill, and no limit on
    // the descriptor's number.
    if (fd(handle) < 0) {
        errno = EBADF;
        return Wait::Failed;
    }
    pollfd entry{};
    entry.fd = fd(handle);
    entry.events = POLLIN;
    using Clock = std::chrono::steady_clock;
    const auto deadline = timeoutMs >= 0 ? Clock::now() + std::chrono::milliseconds(timeoutMs) : Clock::time_point{};
    int wait = timeoutMs < 0 ? -1 : timeoutMs;
    for (;;) {
        const int ready = ::poll(&entry, 1, wait);
        if (ready > 0) {
            if ((entry.revents & POLLNVAL) != 0) {
                errno = EBADF;
                return Wait::Failed;
            }
            return Wait::Readable;
        }
        if (ready == 0) return Wait::TimedOut;
        if (errno != EINTR) return Wait::Failed;
        // Interrupted: wait on for the time that is left.
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
    }
}

int receiveFrom(SocketHandle handle, std::uint8_t* buffer, std::size_t size, std::uint32_t* address,
                std::uint16_t* port) {
    sockaddr_in sender;
    socklen_t senderLength = sizeof sender;
    // MSG_TRUNC makes recvfrom report the datagram's real length, so a datagram
    // longer than the buffer fails as it does on Winsock instead of being cut.
    const ssize_t n =
        ::recvfrom(fd(handle), buffer, size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (n < 0) return -1;
    if (static_cast<std::size_t>(n) > size) {
        errno = EMSGSIZE;
        return -1;
    }
    if (address != nullptr) *address = ntohl(sender.sin_addr.s_addr);
    if (port != nullptr) *port = ntohs(sender.sin_port);
    return static_cast<int>(n);
}

}  // namespace net
