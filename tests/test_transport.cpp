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

// A plain socket on 127.0.0.1 that plays the agent.
class Peer {
public:
    Peer() {
        net::startup();
        socket_ = net::openUdpSocket();
        net::bindAny(socket_, 0);
        port_ = net::localPort(socket_);
    }
    ~Peer() {
        net::closeSocket(socket_);
        net::cleanup();
    }
    std::uint16_t port() const { return port_; }
    Bytes receive(std::uint16_t* fromPort = nullptr) {
        Bytes buffer(70000);
        if (net::waitReadable(socket_, 2000) != net::Wait::Readable) return {};
        const int n = net::receiveFrom(socket_, buffer.data(), buffer.size(), nullptr, fromPort);
        buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return buffer;
    }
    void sendTo(std::uint16_t port, const Bytes& bytes) {
        net::sendTo(socket_, bytes.data(), bytes.size(), 0x7F000001, port);
    }

private:
    net::SocketHandle socket_;
    std::uint16_t port_;
};

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

TEST(Transport, SendsExactlyTheEncodedMessageFromOnePort) {
    // The agent as a dotted address, and as a name for the resolver.
    for (const char* host : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(host);
        Winsock winsock;
        Peer peer;
        SnmpTransport transport(peer.port(), host);
        ASSERT_TRUE(transport.ready());
        std::unique_ptr<SnmpMessage> message(request());
        EXPECT_EQ(transport.send(*message), 41);
        std::uint16_t first = 0, second = 0;
        const Bytes bytes = peer.receive(&first);
        EXPECT_EQ(hexText(bytes),
                  "30 27 02 01 00 04 06 76 61 6E 74 72 79 A1 1A 02 01 7B 02 01 00 02 01 00 "
                  "30 0F 30 0D 06 09 2B 06 01 02 01 04 16 01 02 05 00");
        EXPECT_EQ(transport.send(*message), 41);
        peer.receive(&second);
        // The local port is chosen once, at bind time.
        EXPECT_EQ(first, second);
        EXPECT_EQ(first, transport.localPort());
    }
}

TEST(Transport, ReceivesDatagramsIntoAClearedBuffer) {
    Winsock winsock;
    Peer peer;
    SnmpTransport transport(peer.port(), "127.0.0.1");
    transport.setTimeoutMilliseconds(2000);
    const std::uint16_t local = transport.localPort();

    // A long datagram first, then a short one: the buffer holds the short one
    // followed by zero bytes only.
    peer.sendTo(local, Bytes(300, 0xAB));
    EXPECT_EQ(std::unique_ptr<SnmpMessage>(transport.receive()), nullptr);  // not a message, but received
    EXPECT_EQ(transport.receivedLength(), 300);
    const Bytes reply = makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.1", macValue("00 11 22 33 44 55"));
    peer.sendTo(local, reply);
    std::unique_ptr<SnmpMessage> message(transport.receive());
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
    Winsock winsock;
    Peer peer;
    SnmpTransport transport(peer.port(), "127.0.0.1");
    transport.setTimeoutMilliseconds(2000);
    const std::uint16_t local = transport.localPort();

    peer.sendTo(local, Bytes(4096, 0x30));  // exactly the buffer: taken whole
    std::unique_ptr<SnmpMessage> whole(transport.receive());
    EXPECT_EQ(transport.receivedLength(), 4096);

    peer.sendTo(local, Bytes(4097, 0x30));  // one more: a failed receive, not a cut datagram
    EXPECT_EQ(transport.receive(), nullptr);
    EXPECT_EQ(transport.receivedLength(), 0);
    EXPECT_EQ(transport.lastError(), net::kMessageTooLong);

    peer.sendTo(local, Bytes());  // zero bytes count as nothing received
    EXPECT_EQ(transport.receive(), nullptr);
    EXPECT_EQ(transport.receivedLength(), 0);

    // A message too long for one datagram is not sent, and the error is kept.
    SnmpTransport sender(peer.port(), "127.0.0.1");
    std::unique_ptr<SnmpMessage> huge(request());
    huge->setCommunity(std::string(65500, 'c').c_str());
    EXPECT_EQ(sender.send(*huge), 0);
    EXPECT_EQ(sender.lastError(), net::kMessageTooLong);
}

TEST(Transport, DatagramsOnlyFromTheAgentsAddress) {
    // Broadcast addresses: the all-ones one, and no loopback address.
    EXPECT_TRUE(net::isBroadcast(net::kInvalidSocket, 0xFFFFFFFF));
    EXPECT_FALSE(net::isBroadcast(net::kInvalidSocket, 0x7F000001));
    if (!sendsFromAnotherAddress()) GTEST_SKIP() << "no socket here sends from 127.0.0.2 (Wine)";
    Winsock winsock;
    Peer agent;
    const net::SocketHandle stranger = openOnLoopback("127.0.0.2");
    SnmpTransport transport(agent.port(), "127.0.0.1");
    transport.setTimeoutMilliseconds(2000);
    const Bytes reply = makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.1", macValue("00"));
    net::sendTo(stranger, reply.data(), reply.size(), 0x7F000001, transport.localPort());
    Received what = Received::Message;
    EXPECT_EQ(transport.receive(&what), nullptr);
    EXPECT_EQ(what, Received::Stranger);
    net::closeSocket(stranger);
    // From the agent's address, any port.
    Peer other;
    other.sendTo(transport.localPort(), reply);
    std::unique_ptr<SnmpMessage> message(transport.receive(&what));
    EXPECT_NE(message, nullptr);
    EXPECT_EQ(what, Received::Message);
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

TEST(Transport, WaitsTheWholeFiveSecondsForNothing) {
    Winsock winsock;
    Peer silent;
    SnmpTransport transport(silent.port(), "127.0.0.1");
    ASSERT_TRUE(transport.ready());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(transport.receive(), nullptr);
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 4.9);
    EXPECT_LT(waited, 6.5);
    EXPECT_EQ(transport.receivedLength(), 0);
}

TEST(Transport, WithoutLimitWaitsUntilADatagramComes) {
    Winsock winsock;
    Peer peer;
    SnmpTransport transport(peer.port(), "127.0.0.1");
    transport.setTimeout(0);
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        peer.sendTo(transport.localPort(), makeResponse("1.3.6.1.2.1.1.1.0", new SnmpInteger(1)));
    });
    std::unique_ptr<SnmpMessage> message(transport.receive());
    late.join();
    EXPECT_NE(message, nullptr);
}

}  // namespace
