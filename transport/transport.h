// UDP transport to one SNMP agent: sends an encoded message and receives one
// datagram with a time-out, which it hands to the message decoder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "snmp/message.h"
#include "transport/datagram.h"
#include "transport/sockets.h"

// Sockets, buffers, the time-out and the peer's address and port. It hands
// up every datagram with its sender; whom to believe is the caller's.
class UdpSocket {
public:
    UdpSocket(std::int32_t port, std::int32_t timeoutSeconds);
    ~UdpSocket();  // closes the socket
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    void setPort(std::int32_t port);
    // Replaces the receive buffer with one of size bytes.
    std::uint8_t* setBufferSize(std::uint32_t size);
    // Stores and returns the socket layer's latest error code.
    std::int32_t captureError();
    // One datagram to the destination; the count sent, or 0 on failure.
    std::int32_t sendTo(const std::uint8_t* bytes, std::int32_t length, std::uint32_t address, std::uint16_t port);
    // Waits at most the time-out for one datagram and returns the buffer that
    // holds it, followed by zero bytes; null when no datagram with bytes came.
    // The sender goes to senderAddress and senderPort where they are given.
    const std::uint8_t* receiveFrom(std::uint32_t* senderAddress = nullptr, std::uint16_t* senderPort = nullptr);
    // Encodes the message into a buffer of exactly its encoded length and sends
    // it. Running out of memory on the way is not a failed send: bad_alloc
    // goes on to the caller.
    std::int32_t sendMessage(SnmpMessage& message, std::uint32_t address, std::uint16_t port);
    // One datagram, received with receiveFrom and decoded: a new message owned
    // by the caller, or null (nothing came, or it did not decode).
    SnmpMessage* receiveMessage();
    // What a wait of at most waitMs ms (negative: without limit) came to: a
    // datagram, decoded where it can be, and its sender, or why none came.
    // Unless ready, Failed at once.
    Datagram receiveDatagram(std::int32_t waitMs);
    // After a failed send, at most most of the reports that failed it, taken
    // without a wait: Winsock's is the send's own error, Linux queues them.
    std::vector<net::Report> takeReports(int most);
    // Whether the system hands up the network's reports (on from the start).
    void hearReports(bool on) {
        if (on != std::exchange(hearing_, on) && ready_) net::hearReports(socketHandle_, on);
    }
    // Where the system did not say, a report is about a datagram to the peer.
    void aboutThePeer(net::Report& report) const;

    std::int32_t lastError() const { return lastError_; }
    std::int32_t receivedLength() const { return receivedLength_; }
    std::uint32_t bufferSize() const { return static_cast<std::uint32_t>(buffer_.size()); }
    const std::uint8_t* buffer() const { return buffer_.data(); }
    bool ready() const { return ready_; }
    std::uint16_t localPort() const { return net::localPort(socketHandle_); }
    std::uint32_t peerAddress() const { return peerAddress_; }
    std::uint16_t peerPort() const { return peerPort_; }

protected:
    void createSocket();
    // receiveFrom with a wait of its own, saying in what what came instead of
    // a datagram; the sender is given for one too long for the buffer too.
    const std::uint8_t* readDatagram(std::int32_t waitMs, Received& what, std::uint32_t* senderAddress,
                                     std::uint16_t* senderPort, net::Report& report);
    // The message that the datagram just received decodes to, or null.
    SnmpMessage* decoded(const std::uint8_t* bytes) const;

    std::vector<std::uint8_t> buffer_;
    // Where a datagram is read before it is copied to buffer_, so that a
    // failed receive leaves the last datagram as it was.
    std::vector<std::uint8_t> incoming_;
    std::int32_t receivedLength_ = 0;
    std::int32_t lastError_ = 0;
    // How long a receive waits, in milliseconds; negative: without limit.
    std::int32_t timeoutMs_;
    net::SocketHandle socketHandle_ = net::kInvalidSocket;
    std::uint32_t peerAddress_ = 0;
    std::uint16_t peerPort_ = 0;
    bool ready_ = false;
    bool hearing_ = true;
};

// A UdpSocket bound to one agent, named by a dotted IPv4 address or a DNS name
// that is resolved once, at construction. Whether that address is a broadcast
// address is decided then too, before anything is sent. receive() hands out
// only the agent's datagrams, by countsAsAgent: asked at a broadcast address,
// any device's until its caller names the one that answered.
class SnmpTransport : public UdpSocket {
public:
    // Time-out 5 seconds.
    SnmpTransport(std::int32_t port, const char* host);

    // Whole seconds a receive waits; 0 waits without limit.
    void setTimeout(std::int32_t seconds);
    // 0 and nothing sent unless ready.
    std::int32_t send(SnmpMessage& message);
    // A new message from the agent, owned by the caller, waiting at most the
    // time-out; null when none came, and at once unless ready.
    SnmpMessage* receive();

    // Whether a datagram from address counts as the agent's.
    bool fromAgent(std::uint32_t address) const;
    // Names the device that answered a broadcast: only its address counts
    // from then on. Asked at one device's address, this changes nothing.
    void answeredBy(std::uint32_t address);
    // Whether the agent was given as a broadcast address.
    bool broadcast() const { return broadcast_; }

    const char* hostText() const { return hasHost_ ? hostText_.c_str() : nullptr; }
    // Why the transport is not ready; Unready::None when it is.
    const Unready& unready() const { return unready_; }

private:
    void setHost(const char* host);
    void resolveAndBind();
    void fail(Unready::Cause cause, int code = 0);

    std::string hostText_;
    bool hasHost_ = false;
    Unready unready_;
    bool broadcast_ = false;
    // With a broadcast agent: the device that answered, once one has.
    std::optional<std::uint32_t> answered_;
};

// Whether address is 255.255.255.255, or the directed broadcast ((own & mask)
// | ~mask) that the system reports for an interface address that is up, has
// the broadcast flag, is no point-to-point link and has a prefix of /30 or
// shorter (a /31 link's far end and a /32 are single devices; an address
// given with a peer reports the peer). None of this machine's own is.
bool isBroadcastAddress(const std::vector<net::InterfaceAddress>& interfaces, std::uint32_t address);
