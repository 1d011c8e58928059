// UDP transport to one SNMP agent: sends an encoded message and receives one
// datagram with a time-out, which it hands to the message decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "snmp/message.h"
#include "transport/sockets.h"

// What a receive came to.
enum class Received {
    Message,      // a datagram that decoded to a message
    Unreadable,   // a datagram that did not: empty or damaged
    TooLong,      // a datagram from the agent cut by the receive buffer: the system said it was longer
    Stranger,     // a datagram from another sender than the agent
    TimedOut,     // nothing came within the time-out
    Failed,       // the wait or the read failed, or the transport is not ready
    Interrupted,  // a request to stop ended the wait
};

// Sockets, buffers, the time-out and the peer's address and port; what
// counts as the agent is SnmpTransport's.
class UdpSocket {
public:
    UdpSocket(std::int32_t port, std::int32_t timeoutSeconds);
    // Closes the socket.
    ~UdpSocket();
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
    // holds it (followed by zero bytes), or null. What the wait came to goes to
    // outcome (a datagram is Unreadable until it is decoded), the sender to
    // senderAddress and senderPort, where they are given: for a datagram longer
    // than the buffer (TooLong) too.
    const std::uint8_t* receiveFrom(Received* outcome = nullptr, std::uint32_t* senderAddress = nullptr,
                                    std::uint16_t* senderPort = nullptr);
    // Encodes the message into a buffer of exactly its encoded length and sends
    // it. Running out of memory on the way is not a failed send: bad_alloc
    // goes on to the caller.
    std::int32_t sendMessage(SnmpMessage& message, std::uint32_t address, std::uint16_t port);

    std::int32_t lastError() const { return lastError_; }
    std::int32_t receivedLength() const { return receivedLength_; }
    std::uint32_t bufferSize() const { return static_cast<std::uint32_t>(buffer_.size()); }
    const std::uint8_t* buffer() const { return buffer_.data(); }
    bool ready() const { return ready_; }
    std::uint16_t localPort() const { return net::localPort(socketHandle_); }

protected:
    void createSocket();
    // Decodes the datagram in the buffer: a new message, or null.
    SnmpMessage* decodeReceived(Received* outcome);

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
};

// A UdpSocket bound to one agent, named by a dotted IPv4 address or a DNS name
// that is resolved once, at construction. Whether that address is a broadcast
// address is decided then too, before anything is sent. A device's datagrams
// count only from its address, from any port; asked at a broadcast address,
// the first device to answer with a GetResponse becomes the one agent, and only
// its address counts after that.
class SnmpTransport : public UdpSocket {
public:
    // Time-out 5 seconds.
    SnmpTransport(std::int32_t port, const char* host);

    // Whole seconds a receive waits; 0 waits without limit.
    void setTimeout(std::int32_t seconds);
    // The same in milliseconds, for a caller that waits to a deadline of its own.
    void setTimeoutMilliseconds(std::int32_t ms);
    // 0 and nothing sent unless ready.
    std::int32_t send(SnmpMessage& message);
    // A new message owned by the caller, or null; null at once unless ready.
    // What the receive came to goes to outcome, where it is given.
    SnmpMessage* receive(Received* outcome = nullptr);

    const char* hostText() const { return hasHost_ ? hostText_.c_str() : nullptr; }
    // Why the transport is not ready, in a sentence with the system's reason;
    // empty when it is ready.
    const std::string& problem() const { return problem_; }
    // The sender of the latest datagram received, whoever it was.
    std::uint32_t sender() const { return sender_; }

private:
    void setHost(const char* host);
    void resolveAndBind();
    void setProblem(const std::string& what, int code);
    bool fromAgent(std::uint32_t address) const;

    std::string hostText_;
    bool hasHost_ = false;
    std::string problem_;
    bool broadcast_ = false;
    // With a broadcast agent: the device that answered first; 0 until one has.
    std::uint32_t answeredAddress_ = 0;
    std::uint32_t sender_ = 0;
};
