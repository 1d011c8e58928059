// The socket layer over Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "transport/sockets.h"
#include "transport/sockets_shared.h"

namespace net {

const SocketHandle kInvalidSocket = static_cast<SocketHandle>(INVALID_SOCKET);
const int kMessageTooLong = WSAEMSGSIZE;

namespace {
SOCKET sock(SocketHandle handle) { return static_cast<SOCKET>(handle); }

// The console's request to stop, as the C library numbers the signals.
constexpr int kSigInt = 2;
constexpr int kSigBreak = 21;
std::atomic<int> caught{0};
// Set while a name is looked up: the resolver cannot be woken, so a request
// to stop ends the program there and then (all that was printed is out).
std::atomic<bool> endAtOnce{false};

// Runs on a thread of its own that the console starts for the event.
BOOL WINAPI onControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    const int signal = event == CTRL_C_EVENT ? kSigInt : kSigBreak;
    // A second request ends the program at once, with the status of the
    // first: the main thread may be stuck writing to a pipe nobody reads.
    int none = 0;
    if (!caught.compare_exchange_strong(none, signal)) TerminateProcess(GetCurrentProcess(), 128 + none);
    if (endAtOnce.load()) TerminateProcess(GetCurrentProcess(), 128 + signal);
    return TRUE;
}

// How long one select waits at most, so that a request to stop ends a wait soon.
constexpr long long kSliceMicroseconds = 50000;
}  // namespace

void watchInterruptions() { SetConsoleCtrlHandler(onControl, TRUE); }

int interruption() { return caught.load(); }

// A console's or a file's output always blocks.
bool nonBlocking(std::FILE*) { return false; }
bool waitWritable(std::FILE*) { return false; }

int startup() {
    WSADATA data;
    return WSAStartup(MAKEWORD(1, 1), &data);
}

void cleanup() { WSACleanup(); }
int lastError() { return WSAGetLastError(); }

void closeSocket(SocketHandle handle) {
    if (handle != kInvalidSocket) ::closesocket(sock(handle));
}

SocketHandle openUdpSocket() {
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) return kInvalidSocket;
    // Windows hands up a port unreachable from the start, a time exceeded only
    // once asked: ask for both, so the socket hears the same reports at
    // start-up as after a flood, and as on Linux.
    hearReports(static_cast<SocketHandle>(s), true);
    return static_cast<SocketHandle>(s);
}

int enableBroadcast(SocketHandle handle) {
    const std::int32_t on = 1;
    return ::setsockopt(sock(handle), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
}

int bindAny(SocketHandle handle, std::uint16_t port) {
    const sockaddr_in local = makeAddress(INADDR_ANY, port);
    return ::bind(sock(handle), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 ? 0 : -1;
}

std::uint16_t localPort(SocketHandle handle) {
    sockaddr_in local;
    int length = sizeof local;
    if (::getsockname(sock(handle), reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

int lookupIPv4(const char* name, std::uint32_t& address) {
    endAtOnce = true;
    if (caught.load() != 0) TerminateProcess(GetCurrentProcess(), 128 + caught.load());
    const hostent* entry = ::gethostbyname(name);
    endAtOnce = false;
    if (entry == nullptr) return WSAGetLastError();
    if (entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list[0] == nullptr) return WSANO_DATA;
    std::uint32_t networkOrder = 0;
    std::memcpy(&networkOrder, entry->h_addr_list[0], 4);
    address = ntohl(networkOrder);
    return 0;
}

std::vector<InterfaceAddress> interfaceAddresses(SocketHandle handle) {
    // The list is as long as the machine's interfaces: it grows until it fits.
    std::vector<INTERFACE_INFO> list(32);
    DWORD bytes = 0;
    while (WSAIoctl(sock(handle), SIO_GET_INTERFACE_LIST, nullptr, 0, list.data(),
                    static_cast<DWORD>(list.size() * sizeof(INTERFACE_INFO)), &bytes, nullptr, nullptr) != 0) {
        bytes = 0;
        if (WSAGetLastError() != WSAEFAULT || list.size() >= 65536) break;
        list.resize(list.size() * 2);
    }
    std::vector<InterfaceAddress> interfaces;
    for (DWORD i = 0; i < bytes / sizeof(INTERFACE_INFO) && i < list.size(); ++i) {
        InterfaceAddress a;
        a.own = ntohl(list[i].iiAddress.AddressIn.sin_addr.s_addr);
        a.mask = ntohl(list[i].iiNetmask.AddressIn.sin_addr.s_addr);
        a.up = (list[i].iiFlags & IFF_UP) != 0;
        a.broadcastFlag = (list[i].iiFlags & IFF_BROADCAST) != 0;
        a.pointToPoint = (list[i].iiFlags & IFF_POINTTOPOINT) != 0;
        // Winsock gives 255.255.255.255 as every interface's broadcast address:
        // the network's own is worked out from the address and the mask.
        a.broadcast = (a.own & a.mask) | ~a.mask;
        interfaces.push_back(a);
    }
    return interfaces;
}

std::string errorText(int code) {
    char text[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string words(text, n);
    // The system's sentences end with a full stop and a line end; a line of ours goes on after them.
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.')) words.pop_back();
    return words.empty() ? "error " + std::to_string(code) : words;
}

int sendTo(SocketHandle handle, const std::uint8_t* bytes, std::size_t length, std::uint32_t address,
           std::uint16_t port) {
    const sockaddr_in peer = makeAddress(address, port);
    const int sent = ::sendto(sock(handle), reinterpret_cast<const char*>(bytes), static_cast<int>(length), 0,
                              reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    return sent == SOCKET_ERROR ? -1 : sent;
}

Wait waitReadable(SocketHandle handle, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    using Us = std::chrono::microseconds;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        if (caught.load() != 0) return Wait::Interrupted;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(sock(handle), &readable);
        // select cannot watch the console, so it waits in short slices and the
        // request to stop is looked at between them.
        const long long left =
            timeoutMs < 0 ? kSliceMicroseconds + 1 : std::chrono::duration_cast<Us>(deadline - Clock::now()).count();
        const bool last = left <= kSliceMicroseconds;
        const long long us = last ? std::max(left, 0LL) : kSliceMicroseconds;
        timeval limit{static_cast<long>(us / 1000000), static_cast<long>(us % 1000000)};
        // Winsock ignores select's first argument; the sets carry the handles.
        const int ready = ::select(0, &readable, nullptr, nullptr, &limit);
        if (ready > 0) return Wait::Readable;
        if (ready == 0 && last) return Wait::TimedOut;
        if (ready < 0 && WSAGetLastError() != WSAEINTR) return Wait::Failed;
    }
}

void hearReports(SocketHandle handle, bool on) {
    // SIO_UDP_CONNRESET and SIO_UDP_NETRESET (mstcpip.h): whether a port
    // unreachable, and a time exceeded, fails the next receive.
    BOOL value = on ? TRUE : FALSE;
    DWORD bytes = 0;
    for (const DWORD code : {0x9800000Cu, 0x9800000Fu}) {
        WSAIoctl(sock(handle), code, &value, sizeof value, nullptr, 0, &bytes, nullptr, nullptr);
    }
}

bool takeReport(SocketHandle, Report&) { return false; }

bool reportOf(int error, Report& report) {
    // Winsock hands up the ICMP errors that a send drew as the next receive's
    // or send's failure, and documents no sender for them, whatever recvfrom
    // leaves in its argument.
    if (error != WSAECONNRESET && error != WSAENETRESET) return false;
    report = Report();
    report.type = error == WSAECONNRESET ? 3 : 11;
    report.code = error == WSAECONNRESET ? 3 : 0;
    report.kind = icmpKind(report.type, report.code);
    return true;
}

int receiveFrom(SocketHandle handle, std::uint8_t* buffer, std::size_t size, std::uint32_t* address,
                std::uint16_t* port, Report* report) {
    sockaddr_in sender{};
    int senderLength = sizeof sender;
    // Winsock fails a datagram longer than the buffer with WSAEMSGSIZE by itself.
    const int n = ::recvfrom(sock(handle), reinterpret_cast<char*>(buffer), static_cast<int>(size), 0,
                             reinterpret_cast<sockaddr*>(&sender), &senderLength);
    Report dropped;
    if (n == SOCKET_ERROR && reportOf(WSAGetLastError(), report != nullptr ? *report : dropped)) return kReported;
    // A datagram longer than the buffer still names its sender.
    if (n == SOCKET_ERROR && WSAGetLastError() != WSAEMSGSIZE) return -1;
    if (address != nullptr) *address = ntohl(sender.sin_addr.s_addr);
    if (port != nullptr) *port = ntohs(sender.sin_port);
    return n == SOCKET_ERROR ? -1 : n;
}

}  // namespace net
