#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "tests/runner.h"
#include "tests/scripted_agent.h"
#include "transport/transport.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <cerrno>
#endif

namespace {

// The error codes as the platform names them: a local address that is taken,
// a handle that is no socket (one already closed), port 0 as a destination
// (as Wine names it; Windows itself says WSAEADDRNOTAVAIL), and two to leave
// behind by hand.
#ifdef _WIN32
constexpr int kAddressInUse = WSAEADDRINUSE, kNotASocket = WSAENOTSOCK, kNoDestination = WSAEINVAL;
constexpr int kSome = WSAEINVAL, kOther = WSAEACCES;
void leaveError(int code) { WSASetLastError(code); }
#else
constexpr int kAddressInUse = EADDRINUSE, kNotASocket = EBADF, kNoDestination = EINVAL;
constexpr int kSome = EINVAL, kOther = EPERM;
void leaveError(int code) { errno = code; }
#endif

// An agent that answers request n with the datagrams of replies[n - 1].
ScriptedAgent::Script answers(std::vector<std::vector<ScriptedReply>> replies) {
    return [replies](SnmpMessage*, int n) {
        return n <= static_cast<int>(replies.size()) ? replies[n - 1] : std::vector<ScriptedReply>{};
    };
}

TEST(Transport, SendsExactlyTheEncodedMessageFromOnePort) {
    // The agent as a dotted address, and as a name for the resolver.
    for (const char* host : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(host);
        const Bytes reply = makeResponse("1.3.6.1.2.1.1.1.0", new SnmpInteger(1));
        ScriptedAgent agent(answers({{{reply}}, {{reply}}}));
        SnmpTransport transport(agent.port(), host);
        ASSERT_TRUE(transport.ready());
        transport.setTimeout(2);
        auto message = walkRequest();
        EXPECT_EQ(transport.send(*message), 41);
        // The answer to the sender's port reaches the transport, both times:
        // the local port is chosen once, at bind time.
        EXPECT_NE(std::unique_ptr<SnmpMessage>(transport.receive()), nullptr);
        EXPECT_EQ(hexText(agent.lastRequest()),
                  "30 27 02 01 00 04 06 76 61 6E 74 72 79 A1 1A 02 01 7B 02 01 00 02 01 00 "
                  "30 0F 30 0D 06 09 2B 06 01 02 01 04 16 01 02 05 00");
        EXPECT_EQ(transport.send(*message), 41);
        EXPECT_NE(std::unique_ptr<SnmpMessage>(transport.receive()), nullptr);
    }
}

TEST(Transport, ReceivesDatagramsIntoAClearedBuffer) {
    // A long datagram first, then a short one: the buffer holds the short one
    // followed by zero bytes only.
    const Bytes reply = makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.1", macValue("00 11 22 33 44 55"));
    ScriptedAgent agent(answers({{{Bytes(300, 0xAB)}, {reply}}}));
    SnmpTransport transport(agent.port(), "127.0.0.1");
    transport.setTimeout(2);
    auto message = walkRequest();
    transport.send(*message);
    EXPECT_EQ(std::unique_ptr<SnmpMessage>(transport.receive()), nullptr);  // not a message, but received
    EXPECT_EQ(transport.receivedLength(), 300);
    message.reset(transport.receive());
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->requestId(), 123);
    EXPECT_EQ(transport.receivedLength(), static_cast<std::int32_t>(reply.size()));
    EXPECT_EQ(Bytes(transport.buffer(), transport.buffer() + reply.size()), reply);
    for (std::uint32_t i = static_cast<std::uint32_t>(reply.size()); i < transport.bufferSize(); ++i) {
        ASSERT_EQ(transport.buffer()[i], 0) << i;
    }
    EXPECT_EQ(transport.bufferSize(), 4096u);
}

TEST(Transport, DatagramSizes) {
    // Exactly the buffer: taken whole. One more: a failed receive, not a cut
    // datagram. Zero bytes: no message, and nothing kept.
    ScriptedAgent agent(answers({{{Bytes(4096, 0x30)}, {Bytes(4097, 0x30)}, {Bytes()}}}));
    SnmpTransport transport(agent.port(), "127.0.0.1");
    transport.setTimeout(2);
    auto huge = walkRequest();
    transport.send(*huge);
    std::unique_ptr<SnmpMessage> whole(transport.receive());
    EXPECT_EQ(transport.receivedLength(), 4096);
    EXPECT_EQ(transport.receiveDatagram(2000).what, Received::TooLong);
    EXPECT_EQ(transport.receivedLength(), 0);
    EXPECT_EQ(transport.lastError(), net::kMessageTooLong);
#ifndef _WIN32
    errno = 0;  // an empty datagram is no failure: the error code stays
#endif
    EXPECT_EQ(transport.receiveDatagram(2000).what, Received::Unreadable);
    EXPECT_EQ(transport.receivedLength(), 0);
    EXPECT_EQ(transport.lastError(), net::kMessageTooLong);

    // A message too long for one datagram is not sent, and the error is kept.
    huge->setCommunity(std::string(65500, 'c').c_str());
    EXPECT_EQ(transport.send(*huge), 0);
    EXPECT_EQ(transport.lastError(), net::kMessageTooLong);
}

TEST(Transport, BroadcastAddresses) {
    // An interface address that is up, has the broadcast flag and reports its
    // network's broadcast address, with what each row changes.
    const auto lan = [](std::uint32_t own, std::uint32_t mask, std::uint32_t broadcast) {
        net::InterfaceAddress a;
        a.own = own;
        a.mask = mask;
        a.broadcast = broadcast;
        a.up = a.broadcastFlag = true;
        return a;
    };
    const net::InterfaceAddress slash24 = lan(0x0A010203, 0xFFFFFF00, 0x0A0102FF);  // 10.1.2.3/24
    net::InterfaceAddress down = slash24, noFlag = slash24, pointToPoint = slash24;
    down.up = false;
    noFlag.broadcastFlag = false;
    pointToPoint.pointToPoint = true;
    const struct {
        const char* what;
        std::vector<net::InterfaceAddress> interfaces;
        std::uint32_t address;
        bool broadcast;
    } rows[] = {
        {"all ones", {}, 0xFFFFFFFF, true},
        {"a /24's broadcast", {slash24}, 0x0A0102FF, true},
        {"a /30's broadcast", {lan(0x0A000001, 0xFFFFFFFC, 0x0A000003)}, 0x0A000003, true},
        {"a loopback address", {lan(0x7F000001, 0xFF000000, 0)}, 0x7F000001, false},
        {"a down interface's", {down}, 0x0A0102FF, false},
        {"one without the broadcast flag", {noFlag}, 0x0A0102FF, false},
        {"a point-to-point link's", {pointToPoint}, 0x0A0102FF, false},
        {"the far end of a /31", {lan(0x0A4E0000, 0xFFFFFFFE, 0x0A4E0001)}, 0x0A4E0001, false},
        // What the system reports counts only where it is the network's own.
        {"another network's, reported", {lan(0x0A030005, 0xFFFF0000, 0x0A01FFFF)}, 0x0A01FFFF, false},
        {"a /32", {lan(0x0A090909, 0xFFFFFFFF, 0x0A090909)}, 0x0A090909, false},
        {"an own address", {slash24, lan(0x0A0102FF, 0xFFFF0000, 0x0A01FFFF)}, 0x0A0102FF, false},
        // ip addr add 10.110.0.1 peer 10.110.0.2/24: the peer where the broadcast goes.
        {"a peer address", {lan(0x0A6E0001, 0xFFFFFF00, 0x0A6E0002)}, 0x0A6E0002, false},
        {"a broadcast the system does not report", {lan(0x0A010203, 0xFFFFFF00, 0x0A01027F)}, 0x0A0102FF, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(isBroadcastAddress(row.interfaces, row.address), row.broadcast);
    }
}

TEST(Transport, DatagramsOnlyFromTheAgentsAddress) {
    if (!sendsFromAnotherAddress()) GTEST_SKIP() << "no socket here sends from 127.0.0.2 (Wine)";
    Winsock winsock;
    // One device, and a broadcast address, to which nothing is sent here.
    SnmpTransport device(161, "127.0.0.1");
    SnmpTransport broadcast(161, "255.255.255.255");
    const Bytes reply = makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.1", macValue("00"));
    // From another address, then from the agent's address and a port of its own.
    device.setTimeout(2);
    for (const auto& [from, agents] : {std::pair{"127.0.0.2", false}, {"127.0.0.1", true}}) {
        SCOPED_TRACE(from);
        const net::SocketHandle sender = openOnLoopback(from);
        net::sendTo(sender, reply.data(), reply.size(), 0x7F000001, device.localPort());
        net::sendTo(sender, reply.data(), reply.size(), 0x7F000001, device.localPort());
        net::closeSocket(sender);
        const Datagram datagram = device.receiveDatagram(2000);
        EXPECT_EQ(datagram.what, Received::Message);
        EXPECT_EQ(device.fromAgent(datagram.sender), agents);
        // receive() hands out the agent's messages only.
        EXPECT_EQ(std::unique_ptr<SnmpMessage>(device.receive()) != nullptr, agents);
    }
    // A broadcast walk hears everyone until a device has answered, then only it.
    EXPECT_TRUE(broadcast.fromAgent(0x7F000002));
    broadcast.answeredBy(0x7F000001);
    broadcast.answeredBy(0x7F000002);
    EXPECT_TRUE(broadcast.fromAgent(0x7F000001));
    EXPECT_FALSE(broadcast.fromAgent(0x7F000002));
    device.answeredBy(0x7F000002);
    EXPECT_FALSE(device.fromAgent(0x7F000002));
}

TEST(Transport, NotReadyWithoutAnAgent) {
    Winsock winsock;
    SnmpTransport transport(161, "");
    EXPECT_FALSE(transport.ready());
    EXPECT_EQ(transport.hostText(), nullptr);
    auto message = walkRequest();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(transport.send(*message), 0);
    EXPECT_EQ(transport.receive(), nullptr);
    EXPECT_EQ(transport.receiveDatagram(5000).what, Received::Failed);
    // No resolver was asked: no code of one is kept. A name that fails keeps its code.
    EXPECT_EQ(transport.unready().code, 0);
    const SnmpTransport unknown(161, std::string(300, 'h').c_str());
    EXPECT_NE(unknown.unready().code, 0);
    EXPECT_EQ(unknown.lastError(), unknown.unready().code);
    // At once: a wait would take the five seconds of the time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
}

TEST(Transport, ItsErrorCodeIsAFailedCallsAndItsBufferOne) {
    Winsock winsock;
    // The error code is taken at a failed call only: not at the start, nor at
    // a send of no bytes, which is none.
    const std::uint16_t closed = closedPort();
    leaveError(kSome);
    SnmpTransport transport(closed, "127.0.0.1");
    EXPECT_EQ(transport.lastError(), 0);
    const Bytes bytes = hexBytes("30 00");
    EXPECT_EQ(transport.sendTo(bytes.data(), 0, 0x7F000001, transport.localPort()), 0);
    EXPECT_EQ(transport.lastError(), 0);
    // Broadcast is on: loopback's broadcast address takes a datagram.
    EXPECT_EQ(transport.sendTo(bytes.data(), 2, 0x7FFFFFFF, closedPort()), 2);
    // Port 0 is no destination: the send fails, and says why.
    EXPECT_EQ(transport.sendTo(bytes.data(), 2, 0x7F000001, 0), 0);
    EXPECT_EQ(transport.lastError(), kNoDestination);
    leaveError(kOther);
    EXPECT_EQ(transport.captureError(), kOther);
    EXPECT_EQ(transport.lastError(), kOther);
    // What a receive and a new buffer hand out is the buffer itself.
    EXPECT_EQ(transport.setBufferSize(64), transport.buffer());
    transport.setTimeout(1);
    EXPECT_EQ(transport.receiveFrom(), nullptr);
    ASSERT_EQ(transport.sendTo(bytes.data(), 2, 0x7F000001, transport.localPort()), 2);
    EXPECT_EQ(transport.receiveFrom(), transport.buffer());
}

TEST(SocketLayer, ErrorCodesAsThePlatformNamesThem) {
    Winsock winsock;
    const net::SocketHandle first = net::openUdpSocket();
    const net::SocketHandle second = net::openUdpSocket();
    ASSERT_NE(first, net::kInvalidSocket);
    ASSERT_EQ(net::bindAny(first, 0), 0);
    // The same local port twice.
    EXPECT_NE(net::bindAny(second, net::localPort(first)), 0);
    EXPECT_EQ(net::lastError(), kAddressInUse);
    net::closeSocket(second);
    // A closed socket is no socket any more: sending on it fails.
    net::closeSocket(first);
    const std::uint8_t byte = 0;
    EXPECT_EQ(net::sendTo(first, &byte, 1, 0x7F000001, 9), -1);
    EXPECT_EQ(net::lastError(), kNotASocket);
    // Waiting on it fails too, at once.
    EXPECT_EQ(net::waitReadable(first, 1000), net::Wait::Failed);
    net::closeSocket(net::kInvalidSocket);  // ignored
}

TEST(SocketLayer, WhatAnIcmpErrorSays) {
    const struct {
        std::uint8_t type, code;
        net::Report::Kind kind;
    } rows[] = {
        {3, 3, net::Report::PortUnreachable},    {3, 0, net::Report::NetworkUnreachable},
        {3, 11, net::Report::NetworkUnreachable}, {3, 1, net::Report::HostUnreachable},
        {3, 12, net::Report::HostUnreachable},   {3, 13, net::Report::Prohibited},
        {3, 9, net::Report::Prohibited},         {11, 0, net::Report::TimeExceeded},
        {11, 1, net::Report::TimeExceeded},      {3, 4, net::Report::Other},
        {12, 0, net::Report::Other},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.type) + "/" + std::to_string(row.code));
        EXPECT_EQ(net::icmpKind(row.type, row.code), row.kind);
    }
}

// A transport that can wait until the system holds something for it, a
// datagram or a report, without taking it, and be given a failed send's error.
struct Watched : SnmpTransport {
    using SnmpTransport::SnmpTransport;
    bool holdsSomething(int ms) { return net::waitReadable(socketHandle_, ms) == net::Wait::Readable; }
    void failedWith(int error) { lastError_ = error; }
};

TEST(Transport, TheNetworksReports) {
    Winsock winsock;
#ifdef _WIN32
    // Winsock fails a receive or a send with them, and says neither who sent
    // them nor about what: a report about the agent, from nobody named.
    // (Wine never hands one up, so the mapping is all that can be tested.)
    const struct {
        int error;
        net::Report::Kind kind;  // Other: no report
    } rows[] = {{WSAECONNRESET, net::Report::PortUnreachable}, {WSAENETRESET, net::Report::TimeExceeded},
                {WSAEMSGSIZE, net::Report::Other}};
    Watched transport(161, "10.1.2.3");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.error);
        transport.failedWith(row.error);
        EXPECT_TRUE(transport.takeReports(0).empty());
        const std::vector<net::Report> reports = transport.takeReports(1);
        ASSERT_EQ(reports.size(), row.kind == net::Report::Other ? 0u : 1u);
        if (reports.empty()) continue;
        EXPECT_EQ(reports[0].kind, row.kind);
        EXPECT_EQ(reports[0].sender, 0u);
        EXPECT_EQ(reports[0].destination, 0x0A010203u);
        EXPECT_EQ(reports[0].port, 161);
    }
#else
    // A port on 127.0.0.1 where nothing listens: each send draws a port
    // unreachable, which comes up as a report, not as a failed receive, and
    // names the address and port of the datagram it is about.
    Watched transport(closedPort(), "127.0.0.1");
    auto message = walkRequest();
    ASSERT_GT(transport.send(*message), 0);
    const Datagram first = transport.receiveDatagram(2000);
    ASSERT_EQ(first.what, Received::Report);
    EXPECT_EQ(first.report.destination, transport.peerAddress());
    EXPECT_EQ(first.report.port, transport.peerPort());
    const std::uint16_t elsewhere = closedPort();
    ASSERT_GT(transport.sendTo(hexBytes("30 00").data(), 2, 0x7F000001, elsewhere), 0);
    const Datagram second = transport.receiveDatagram(2000);
    ASSERT_EQ(second.what, Received::Report);
    EXPECT_EQ(second.report.destination, 0x7F000001u);
    EXPECT_EQ(second.report.port, elsewhere);
    EXPECT_EQ(second.report.sender, 0x7F000001u);
    // One left unread stands as the socket's pending error: the next send
    // fails with it, ECONNREFUSED, which is no refusal but a report already
    // spent; the report itself is still there to be taken, without a wait,
    // when more are heard; then sends go out again.
    ASSERT_GT(transport.send(*message), 0);
    ASSERT_TRUE(transport.holdsSomething(2000));
    EXPECT_EQ(transport.send(*message), 0);
    EXPECT_EQ(transport.lastError(), ECONNREFUSED);
    EXPECT_TRUE(transport.takeReports(0).empty());
    const std::vector<net::Report> pending = transport.takeReports(5);
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_TRUE(pending[0].spent && !pending[1].spent);
    EXPECT_GT(transport.send(*message), 0);
    // Reports turned off leave no pending error behind to fail a send.
    ASSERT_TRUE(transport.holdsSomething(2000));
    transport.hearReports(false);
    EXPECT_GT(transport.send(*message), 0);
#endif
}

TEST(Transport, ReceiveWaitsTheTimeOutSet) {
    Winsock winsock;
    ScriptedAgent agent(answers({}));
    SnmpTransport transport(agent.port(), "127.0.0.1");
    transport.setTimeout(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(std::unique_ptr<SnmpMessage>(transport.receive()), nullptr);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 0.95);
    EXPECT_LT(seconds, 2.5);  // not the five seconds it starts with
}

TEST(Transport, WithoutLimitWaitsUntilADatagramComes) {
    ScriptedAgent agent(answers({{{makeResponse("1.3.6.1.2.1.1.1.0", new SnmpInteger(1)), 300}}}));
    SnmpTransport transport(agent.port(), "127.0.0.1");
    transport.setTimeout(0);
    auto message = walkRequest();
    transport.send(*message);
    message.reset(transport.receiveMessage());
    EXPECT_NE(message, nullptr);
}

}  // namespace
