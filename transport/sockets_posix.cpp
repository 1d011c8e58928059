// The socket layer over BSD sockets.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/errqueue.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include "transport/sockets.h"
#include "transport/sockets_shared.h"

namespace net {

const SocketHandle kInvalidSocket = ~SocketHandle{0};
const int kMessageTooLong = EMSGSIZE;

namespace {
int fd(SocketHandle handle) { return static_cast<int>(handle); }

// Descriptors 0, 1 and 2 are the standard streams' even when the caller left
// them closed: one of ours that got such a number moves above them, so that
// nothing written to standard output can ever reach a socket.
int aboveStandardStreams(int descriptor) {
    if (descriptor < 0 || descriptor > 2) return descriptor;
    const int moved = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
    ::close(descriptor);
    return moved;
}

// The signal that asked the program to stop, and a pipe whose read end every
// wait watches beside its socket: the handler writes a byte into it, so a
// signal that lands just before a wait begins still ends that wait.
volatile std::sig_atomic_t caught = 0;
int wakeRead = -1;
int wakeWrite = -1;
// Set while a name is looked up: the resolver cannot be woken, so a request
// to stop ends the program there and then (all that was printed is out).
volatile std::sig_atomic_t endAtOnce = 0;

extern "C" void onInterruption(int signal) {
    const int saved = errno;
    // The first request names the exit status; a later one of another kind
    // (SIGTERM while the rows still go out after SIGINT) changes nothing.
    if (caught == 0) caught = signal;
    if (endAtOnce != 0) ::_exit(128 + caught);
    // A reader that goes away after this makes the writes fail, which the
    // walk turns into the stop request's status rather than dying of SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    if (wakeWrite >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &byte, 1);
    }
    errno = saved;
}

// What a report of the error queue says happened: an ICMP error by its type
// and code, or one the system raised itself by its error code.
Report::Kind kindOf(const sock_extended_err& error) {
    if (error.ee_origin == SO_EE_ORIGIN_ICMP) return icmpKind(error.ee_type, error.ee_code);
    switch (error.ee_errno) {
        case ECONNREFUSED: return Report::PortUnreachable;
        case EHOSTUNREACH: return Report::HostUnreachable;
        case ENETUNREACH: return Report::NetworkUnreachable;
        case EACCES: case EPERM: return Report::Prohibited;
        default: return Report::Other;
    }
}

}  // namespace

void watchInterruptions() {
    int ends[2];
    if (wakeRead < 0 && ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead = aboveStandardStreams(ends[0]);
        wakeWrite = aboveStandardStreams(ends[1]);
    }
    struct sigaction action {};
    action.sa_handler = onInterruption;
    // No other stop signal lands while the handler runs, so the first one's
    // number cannot be overwritten between its test and its store.
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
    // Writes to standard output go on after the signal, so that what was
    // received can still be written; a second signal ends the program at once.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        ::sigaction(signal, &action, &before);
        // A signal the caller chose to ignore (a background job's SIGINT) stays ignored.
        if (before.sa_handler == SIG_IGN) ::sigaction(signal, &before, nullptr);
    }
}

int interruption() { return caught; }

bool nonBlocking(std::FILE* stream) {
    const int flags = ::fcntl(::fileno(stream), F_GETFL);
    return flags != -1 && (flags & O_NONBLOCK) != 0;
}

bool waitWritable(std::FILE* stream) {
    // Only a request to stop interrupts the wait: no other signal is caught.
    pollfd writable{::fileno(stream), POLLOUT, 0};
    return (errno == EAGAIN || errno == EWOULDBLOCK) && ::poll(&writable, 1, -1) == 1;
}

int startup() { return 0; }
void cleanup() {}
int lastError() { return errno; }

void closeSocket(SocketHandle handle) {
    if (handle != kInvalidSocket) ::close(fd(handle));
}

SocketHandle openUdpSocket() {
    const int s = aboveStandardStreams(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (s < 0) return kInvalidSocket;
    hearReports(static_cast<SocketHandle>(s), true);
    return static_cast<SocketHandle>(s);
}

void hearReports(SocketHandle handle, bool on) {
    // Without this, Linux drops the ICMP errors that an unconnected socket's
    // sends draw; with it, they wait in the socket's error queue.
    const int value = on ? 1 : 0;
    ::setsockopt(fd(handle), IPPROTO_IP, IP_RECVERR, &value, sizeof value);
    // Off, the queue is emptied, but not the error that the latest report left
    // pending, which would fail the next send: reading it clears it.
    int pending = 0;
    socklen_t length = sizeof pending;
    if (!on) ::getsockopt(fd(handle), SOL_SOCKET, SO_ERROR, &pending, &length);
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

int lookupIPv4(const char* name, std::uint32_t& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    endAtOnce = 1;
    if (caught != 0) ::_exit(128 + caught);
    const int failed = ::getaddrinfo(name, nullptr, &hints, &found);
    endAtOnce = 0;
    // The resolver's own codes are negative, errno's positive.
    if (failed != 0) return failed == EAI_SYSTEM ? errno : failed;
    address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(found);
    return 0;
}

std::vector<InterfaceAddress> interfaceAddresses(SocketHandle) {
    const auto ipv4 = [](const sockaddr* a) {
        return a != nullptr && a->sa_family == AF_INET ? ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr)
                                                       : 0u;
    };
    std::vector<InterfaceAddress> interfaces;
    ifaddrs* found = nullptr;
    if (::getifaddrs(&found) != 0) return interfaces;
    // Freed however the listing ends, running out of memory included.
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> list(found, ::freeifaddrs);
    for (const ifaddrs* i = list.get(); i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
        InterfaceAddress a;
        a.own = ipv4(i->ifa_addr);
        a.mask = ipv4(i->ifa_netmask);
        a.up = (i->ifa_flags & IFF_UP) != 0;
        a.broadcastFlag = (i->ifa_flags & IFF_BROADCAST) != 0;
        a.pointToPoint = (i->ifa_flags & IFF_POINTOPOINT) != 0;
        // The broadcast address and a point-to-point link's far end share a
        // field; an address given with a peer puts the peer there too.
        if (a.broadcastFlag) a.broadcast = ipv4(i->ifa_broadaddr);
        interfaces.push_back(a);
    }
    return interfaces;
}

std::string errorText(int code) { return code < 0 ? ::gai_strerror(code) : std::strerror(code); }

int sendTo(SocketHandle handle, const std::uint8_t* bytes, std::size_t length, std::uint32_t address,
           std::uint16_t port) {
    const sockaddr_in peer = makeAddress(address, port);
    const ssize_t sent = ::sendto(fd(handle), bytes, length, 0, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

Wait waitReadable(SocketHandle handle, int timeoutMs) {
    // poll() rather than select(): no descriptor set to fill, and no limit on
    // the descriptor's number.
    const auto badHandle = [] {
        errno = EBADF;
        return Wait::Failed;
    };
    if (fd(handle) < 0) return badHandle();
    pollfd entries[2] = {{fd(handle), POLLIN, 0}, {wakeRead, POLLIN, 0}};
    const nfds_t count = wakeRead >= 0 ? 2 : 1;
    using Clock = std::chrono::steady_clock;
    const auto deadline = timeoutMs >= 0 ? Clock::now() + std::chrono::milliseconds(timeoutMs) : Clock::time_point{};
    int wait = timeoutMs < 0 ? -1 : timeoutMs;
    for (;;) {
        if (caught != 0) return Wait::Interrupted;
        const int ready = ::poll(entries, count, wait);
        if (ready == 0) return Wait::TimedOut;
        if (ready < 0 && errno != EINTR) return Wait::Failed;
        if (ready > 0 && (entries[0].revents & POLLNVAL) != 0) return badHandle();
        if (ready > 0 && entries[0].revents != 0) return Wait::Readable;
        // Interrupted, or woken by the pipe only (the signal is seen at the
        // loop's top): wait on for the time that is left.
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
    }
}

bool takeReport(SocketHandle handle, Report& report) {
    sockaddr_in destination{};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(sock_extended_err) + sizeof(sockaddr_in))];
    // The start of the datagram the report is about comes along; it is not
    // wanted, but qemu-user answers a read into no buffer at all with 0 bytes
    // without asking the system.
    std::uint8_t start[8];
    iovec into{start, sizeof start};
    msghdr message{.msg_name = &destination, .msg_namelen = sizeof destination, .msg_iov = &into, .msg_iovlen = 1,
                   .msg_control = control, .msg_controllen = sizeof control, .msg_flags = 0};
    // One entry a call: one without an IPv4 error in it is no report.
    if (::recvmsg(fd(handle), &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return false;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR ||
            c->cmsg_len < CMSG_LEN(sizeof(sock_extended_err))) {
            continue;
        }
        sock_extended_err error;
        std::memcpy(&error, CMSG_DATA(c), sizeof error);
        report = Report();
        report.kind = kindOf(error);
        if (error.ee_origin == SO_EE_ORIGIN_ICMP) {
            report.type = error.ee_type;
            report.code = error.ee_code;
        }
        // The sender of the ICMP message follows the error, where the system knows it.
        sockaddr_in offender;
        if (c->cmsg_len >= CMSG_LEN(sizeof error + sizeof offender)) {
            std::memcpy(&offender, CMSG_DATA(c) + sizeof error, sizeof offender);
            if (offender.sin_family == AF_INET) report.sender = ntohl(offender.sin_addr.s_addr);
        }
        if (message.msg_namelen >= sizeof destination && destination.sin_family == AF_INET) {
            report.destination = ntohl(destination.sin_addr.s_addr);
            report.port = ntohs(destination.sin_port);
        }
        return true;
    }
    return false;
}

bool reportOf(int error, Report& report) {
    // An unconnected UDP socket's own datagram is never refused: a send that
    // fails with ECONNREFUSED fails with the error of a report already read.
    if (error != ECONNREFUSED) return false;
    report = Report();
    report.spent = true;
    return true;
}

int receiveFrom(SocketHandle handle, std::uint8_t* buffer, std::size_t size, std::uint32_t* address,
                std::uint16_t* port, Report* report) {
    sockaddr_in sender;
    socklen_t senderLength = sizeof sender;
    // MSG_TRUNC makes recvfrom report the datagram's real length, so a datagram
    // longer than the buffer fails as it does on Winsock instead of being cut.
    // Not waiting: the report that woke the wait may have been all there was.
    const ssize_t n = ::recvfrom(fd(handle), buffer, size, MSG_TRUNC | MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (n < 0) {
        // A waiting report fails the read with its error (or, read already,
        // leaves nothing to read): the error queue is looked at only then.
        const int error = errno;
        Report dropped;
        if (takeReport(handle, report != nullptr ? *report : dropped)) return kReported;
        errno = error;
        return -1;
    }
    if (address != nullptr) *address = ntohl(sender.sin_addr.s_addr);
    if (port != nullptr) *port = ntohs(sender.sin_port);
    if (static_cast<std::size_t>(n) > size) {
        errno = EMSGSIZE;
        return -1;
    }
    return static_cast<int>(n);
}

}  // namespace net
