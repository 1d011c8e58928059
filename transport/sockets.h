// The thin platform layer: sockets, and the requests to stop that a console
// program gets. The only code that knows whether it runs on BSD sockets and
// POSIX signals or on Winsock and the Windows console. Addresses and ports
// cross it in host byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "transport/datagram.h"

namespace net {

// A socket handle wide enough for both platforms' handles.
using SocketHandle = std::uintptr_t;
extern const SocketHandle kInvalidSocket;

// The error code, as the platform names it, of a datagram longer than the
// receive buffer (WSAEMSGSIZE, EMSGSIZE).
extern const int kMessageTooLong;

// Catches the requests to stop that a console program gets (SIGINT, SIGTERM
// and SIGHUP; Ctrl-C and Ctrl-Break on Windows). The first ends every wait at
// once, and interruption() names it; a second ends the program at once (on
// Windows with 128 + the first's number). After the first, a reader of
// standard output that goes away makes writes fail (EPIPE), not SIGPIPE.
void watchInterruptions();
// The number of the signal that asked the program to stop (SIGINT's 2 for
// Ctrl-C, SIGBREAK's 21 for Ctrl-Break), or 0.
int interruption();

// Whether a stream's descriptor is non-blocking, as a parent may leave a pipe;
// and, after a write to such a one failed, whether it failed only because it
// would block, once the stream can take more (a request to stop ends the wait).
bool nonBlocking(std::FILE* stream);
bool waitWritable(std::FILE* stream);

// Starts the socket library (Winsock 1.1 where there is Winsock): 0 or the
// start-up's error code. cleanup() stops it again.
int startup();
void cleanup();
// The error code of the latest failed socket call of this thread.
int lastError();
// Closes a socket; kInvalidSocket is ignored.
void closeSocket(SocketHandle handle);

// A UDP socket over IPv4, or kInvalidSocket. It never takes the handles of
// the standard streams, even when the caller left them closed. It is given
// the network's reports about what it sends (see takeReport).
SocketHandle openUdpSocket();
// Turns on SO_BROADCAST; the result is 0 on success.
int enableBroadcast(SocketHandle handle);
// Binds to any local address and the given port (0: the system's choice).
int bindAny(SocketHandle handle, std::uint16_t port);
// The local port a bound socket got, or 0.
std::uint16_t localPort(SocketHandle handle);

// A dotted IPv4 address, as inet_addr reads it; false for anything else.
bool parseIPv4(const char* text, std::uint32_t& address);
// The first IPv4 address of a DNS name: 0, or the resolver's error code. A
// request to stop while the resolver works ends the program at once, with
// 128 + its number: the caller flushes what it printed first.
int lookupIPv4(const char* name, std::uint32_t& address);
// One IPv4 address of one of this machine's interfaces, as the system lists it.
struct InterfaceAddress {
    std::uint32_t own = 0;
    std::uint32_t mask = 0;
    // The broadcast address the system reports for it, or 0. Winsock reports
    // none of its own: there it is the one worked out from own and mask.
    std::uint32_t broadcast = 0;
    bool up = false;
    bool broadcastFlag = false;
    bool pointToPoint = false;
};
// The IPv4 addresses of this machine's interfaces; empty when the system
// cannot list them.
std::vector<InterfaceAddress> interfaceAddresses(SocketHandle handle);
// The system's words for an error code of this layer (lastError(), lookupIPv4).
std::string errorText(int code);

// Sends one datagram; the count sent, or -1.
int sendTo(SocketHandle handle, const std::uint8_t* bytes, std::size_t length, std::uint32_t address,
           std::uint16_t port);

// Whether the system hands up the network's reports (takeReport, reportOf): on
// from the start. Off, it drops them, those that wait included, and none
// fails a send or a read.
void hearReports(SocketHandle handle, bool on);

// Takes a report that the system holds for the socket, without waiting;
// false when none is there. Linux keeps reports in the socket's error queue
// (asked for when the socket is opened), where one also stands as the
// socket's pending error, which the next send would fail with. Winsock hands
// them up only as a failed receive (see reportOf), and holds none here.
bool takeReport(SocketHandle handle, Report& report);

// What an ICMP error says happened, by its type and code (RFC 792, RFC 1812
// 5.2.7.1).
Report::Kind icmpKind(std::uint8_t type, std::uint8_t code);

// Whether a failed send's or receive's error code is a report, and which.
// Winsock's WSAECONNRESET is a port unreachable, WSAENETRESET a time exceeded,
// with no sender and no destination named. Linux's ECONNREFUSED is a spent
// report: one already read from the error queue, whose error the socket kept.
bool reportOf(int error, Report& report);

enum class Wait { Readable, TimedOut, Failed, Interrupted };
// Waits until a datagram can be read, at most timeoutMs milliseconds (negative:
// without limit). A wait interrupted by a request to stop (see
// watchInterruptions) ends at once; one interrupted by anything else goes on
// with the time left.
Wait waitReadable(SocketHandle handle, int timeoutMs);

// What receiveFrom gives for a report that waited in place of a datagram.
constexpr int kReported = -2;

// Reads one datagram into buffer, once waitReadable has said that something
// waits (on Linux it does not wait when nothing does): its length, or -1 on
// failure; one longer than size fails with kMessageTooLong on every platform.
// The sender goes where pointers are given. A report that fails the read, or
// waits where no datagram does, gives kReported, with the report in report.
int receiveFrom(SocketHandle handle, std::uint8_t* buffer, std::size_t size, std::uint32_t* address = nullptr,
                std::uint16_t* port = nullptr, Report* report = nullptr);

}  // namespace net
