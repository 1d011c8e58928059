#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "tests/scripted_agent.h"
#include "transport/transport.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <cerrno>
#endif

namespace {

// The error codes as the platform names them: a local address that is taken,
// and a handle that is no socket, such as one already closed.
#ifdef _WIN32
constexpr int kAddressInUse = WSAEADDRINUSE;
constexpr int kNotASocket = WSAENOTSOCK;
#else
constexpr int kAddressInUse = EADDRINUSE;
constexpr int kNotASocket = EBADF;
#endif

struct Winsock {
    Winsock() { net::startup(); }
    ~Winsock() { net::cleanup(); }
};

SnmpMessage* request() {
    auto* message = new SnmpMessage(0xA1, 0);
    message->setRequestId(123);
    message->addVarbind(new SnmpVarbind(new SnmpOid("1.3.6.1.2.1.4.22.1.2"), nullptr));
    return message;
}

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
        transport.setTimeoutMilliseconds(2000);
        std::unique_ptr<SnmpMessage> message(request());
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
    transport.setTimeoutMilliseconds(2000);
    std::unique_ptr<SnmpMessage> message(request());
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
    // datagram. Zero bytes count as nothing received.
    ScriptedAgent agent(answers({{{Bytes(4096, 0x30)}, {Bytes(4097, 0x30)}, {Bytes()}}}));
    SnmpTransport transport(agent.port(), "127.0.0.1");
    transport.setTimeoutMilliseconds(2000);
    std::unique_ptr<SnmpMessage> huge(request());
    transport.send(*huge);
    std::unique_ptr<SnmpMessage> whole(transport.receive());
    EXPECT_EQ(transport.receivedLength(), 4096);
    Received what = Received::Message;
    EXPECT_EQ(transport.receive(&what), nullptr);
    EXPECT_EQ(what, Received::TooLong);
    EXPECT_EQ(transport.receivedLength(), 0);
    EXPECT_EQ(transport.lastError(), net::kMessageTooLong);
    EXPECT_EQ(transport.receive(), nullptr);
    EXPECT_EQ(transport.receivedLength(), 0);

    // A message too long for one datagram is not sent, and the error is kept.
    huge->setCommunity(std::string(65500, 'c').c_str());
    EXPECT_EQ(transport.send(*huge), 0);
    EXPECT_EQ(transport.lastError(), net::kMessageTooLong);
}

TEST(Transport, DatagramsOnlyFromTheAgentsAddress) {
    // Broadcast addresses: the all-ones one, and no loopback address.
    EXPECT_TRUE(net::isBroadcast(net::kInvalidSocket, 0xFFFFFFFF));
    EXPECT_FALSE(net::isBroadcast(net::kInvalidSocket, 0x7F000001));
    if (!sendsFromAnotherAddress()) GTEST_SKIP() << "no socket here sends from 127.0.0.2 (Wine)";
    Winsock winsock;
    SnmpTransport transport(161, "127.0.0.1");
    transport.setTimeoutMilliseconds(2000);
    const Bytes reply = makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.1", macValue("00"));
    // From another address, then from the agent's address and a port of its own.
    for (const auto& [from, outcome] : {std::pair{"127.0.0.2", Received::Stranger}, {"127.0.0.1", Received::Message}}) {
        const net::SocketHandle sender = openOnLoopback(from);
        net::sendTo(sender, reply.data(), reply.size(), 0x7F000001, transport.localPort());
        net::closeSocket(sender);
        Received what = Received::Failed;
        std::unique_ptr<SnmpMessage> message(transport.receive(&what));
        EXPECT_EQ(what, outcome);
        EXPECT_EQ(message != nullptr, outcome == Received::Message);
    }
}

TEST(Transport, NotReadyWithoutAnAgent) {
    Winsock winsock;
    SnmpTransport transport(161, "");
    EXPECT_FALSE(transport.ready());
    EXPECT_EQ(transport.hostText(), nullptr);
    std::unique_ptr<SnmpMessage> message(request());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(transport.send(*message), 0);
    EXPECT_EQ(transport.receive(), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
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

TEST(Transport, WithoutLimitWaitsUntilADatagramComes) {
    ScriptedAgent agent(answers({{{makeResponse("1.3.6.1.2.1.1.1.0", new SnmpInteger(1)), 300}}}));
    SnmpTransport transport(agent.port(), "127.0.0.1");
    transport.setTimeout(0);
    std::unique_ptr<SnmpMessage> message(request());
    transport.send(*message);
    message.reset(transport.receive());
    EXPECT_NE(message, nullptr);
}

}  // namespace
