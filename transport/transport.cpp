#include "transport/transport.h"

#include <algorithm>

#include "snmp/decoder.h"

namespace {
// A time-out in whole seconds as the wait takes it: 0 waits without limit.
std::int32_t waitOf(std::int32_t seconds) { return seconds == 0 ? -1 : seconds * 1000; }
}  // namespace

UdpSocket::UdpSocket(std::int32_t port, std::int32_t timeoutSeconds) : timeoutMs_(waitOf(timeoutSeconds)) {
    createSocket();
    setPort(port);
}

UdpSocket::~UdpSocket() { net::closeSocket(socketHandle_); }

void UdpSocket::createSocket() {
    setBufferSize(static_cast<std::uint32_t>(limits::kReceiveBuffer));
    socketHandle_ = net::openUdpSocket();
    if (socketHandle_ == net::kInvalidSocket) captureError();
    // Lets the agent be a broadcast address. Its result is of no consequence.
    if (socketHandle_ != net::kInvalidSocket) net::enableBroadcast(socketHandle_);
}

void UdpSocket::setPort(std::int32_t port) { peerPort_ = static_cast<std::uint16_t>(port); }

std::uint8_t* UdpSocket::setBufferSize(std::uint32_t size) {
    buffer_.assign(size, 0);
    incoming_.resize(size);
    return buffer_.data();
}

std::int32_t UdpSocket::captureError() {
    lastError_ = net::lastError();
    return lastError_;
}

std::int32_t UdpSocket::sendTo(const std::uint8_t* bytes, std::int32_t length, std::uint32_t address,
                               std::uint16_t port) {
    const int sent = net::sendTo(socketHandle_, bytes, static_cast<std::size_t>(length), address, port);
    if (sent < 0) captureError();
    return sent < 0 ? 0 : sent;
}

const std::uint8_t* UdpSocket::receiveFrom(std::uint32_t* senderAddress, std::uint16_t* senderPort) {
    Received what = Received::Failed;
    net::Report report;
    return readDatagram(timeoutMs_, what, senderAddress, senderPort, report);
}

const std::uint8_t* UdpSocket::readDatagram(std::int32_t waitMs, Received& what, std::uint32_t* senderAddress,
                                            std::uint16_t* senderPort, net::Report& report) {
    receivedLength_ = 0;
    // A time-out or a failed wait is no datagram; the error code is left alone.
    switch (net::waitReadable(socketHandle_, waitMs)) {
        case net::Wait::Readable: break;
        case net::Wait::TimedOut: what = Received::TimedOut; return nullptr;
        case net::Wait::Interrupted: what = Received::Interrupted; return nullptr;
        case net::Wait::Failed: what = Received::Failed; return nullptr;
    }
    const int n =
        net::receiveFrom(socketHandle_, incoming_.data(), incoming_.size(), senderAddress, senderPort, &report);
    if (n == net::kReported) {
        aboutThePeer(report);
        what = Received::Report;
        return nullptr;
    }
    if (n <= 0) {
        if (n < 0) captureError();
        // An empty datagram, or one longer than the buffer, has been taken off
        // the socket like any other: a datagram that cannot be read.
        what = n == 0                                ? Received::Unreadable
               : lastError_ == net::kMessageTooLong ? Received::TooLong
                                                    : Received::Failed;
        return nullptr;
    }
    receivedLength_ = n;
    // The datagram, then zero bytes up to the buffer's end.
    std::fill(std::copy_n(incoming_.begin(), n, buffer_.begin()), buffer_.end(), 0);
    return buffer_.data();
}

std::int32_t UdpSocket::sendMessage(SnmpMessage& message, std::uint32_t address, std::uint16_t port) {
    // Exactly the message's size: the encoder writes every byte of it.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(message.encodedLength()));
    std::uint8_t* cursor = bytes.data();
    message.encode(cursor);
    return sendTo(bytes.data(), static_cast<std::int32_t>(bytes.size()), address, port);
}

SnmpMessage* UdpSocket::decoded(const std::uint8_t* bytes) const {
    if (bytes == nullptr) return nullptr;
    SnmpMessageDecoder decoder(bytes, receivedLength_);
    return decoder.release();
}

SnmpMessage* UdpSocket::receiveMessage() { return decoded(receiveFrom()); }

Datagram UdpSocket::receiveDatagram(std::int32_t waitMs) {
    Datagram datagram;
    if (!ready_) return datagram;
    const std::uint8_t* bytes = readDatagram(waitMs, datagram.what, &datagram.sender, nullptr, datagram.report);
    if (bytes == nullptr) return datagram;
    datagram.message.reset(decoded(bytes));
    datagram.what = datagram.message != nullptr ? Received::Message : Received::Unreadable;
    return datagram;
}

std::vector<net::Report> UdpSocket::takeReports(int most) {
    std::vector<net::Report> reports;
    net::Report report;
    if (most > 0 && net::reportOf(lastError_, report)) reports.push_back(report);
    while (ready_ && static_cast<int>(reports.size()) < most && net::takeReport(socketHandle_, report)) {
        reports.push_back(report);
    }
    for (net::Report& r : reports) aboutThePeer(r);
    return reports;
}

void UdpSocket::aboutThePeer(net::Report& report) const {
    if (report.destination == 0) {
        report.destination = peerAddress_;
        report.port = peerPort_;
    }
}

SnmpTransport::SnmpTransport(std::int32_t port, const char* host) : UdpSocket(port, 5) { setHost(host); }

void SnmpTransport::setTimeout(std::int32_t seconds) { timeoutMs_ = waitOf(seconds); }

void SnmpTransport::setHost(const char* host) {
    if (host != nullptr && *host != '\0') {
        hostText_ = host;
        hasHost_ = true;
    }
    resolveAndBind();
}

void SnmpTransport::fail(Unready::Cause cause, int code) {
    if (code != 0) lastError_ = code;
    unready_ = {cause, code};
}

void SnmpTransport::resolveAndBind() {
    if (socketHandle_ == net::kInvalidSocket) return fail(Unready::NoSocket, lastError_);
    // An empty host names no agent: no resolver is asked (Windows' would
    // give this machine's own address), and the transport stays not ready.
    if (!hasHost_) return fail(Unready::NotResolved);
    // A dotted address needs no DNS query; anything else is looked up, once.
    const char* host = hostText_.c_str();
    const int failed = net::parseIPv4(host, peerAddress_) ? 0 : net::lookupIPv4(host, peerAddress_);
    if (failed != 0) return fail(Unready::NotResolved, failed);
    // 0.0.0.0 is "this host" as a source only: a system that sends to it
    // anyway answers from another address, which is no device's.
    if (peerAddress_ == 0) return fail(Unready::ZeroAddress);
    if (net::bindAny(socketHandle_, 0) != 0) return fail(Unready::NotBound, captureError());
    // Decided here, once: a walk never changes whom it listens to because a
    // stranger spoke.
    broadcast_ = isBroadcastAddress(net::interfaceAddresses(socketHandle_), peerAddress_);
    ready_ = true;
}

std::int32_t SnmpTransport::send(SnmpMessage& message) {
    return ready_ ? sendMessage(message, peerAddress_, peerPort_) : 0;
}

bool SnmpTransport::fromAgent(std::uint32_t address) const {
    return countsAsAgent(address, peerAddress_, broadcast_, answered_);
}

void SnmpTransport::answeredBy(std::uint32_t address) {
    if (broadcast_ && !answered_) answered_ = address;
}

SnmpMessage* SnmpTransport::receive() {
    if (!ready_) return nullptr;
    // Only the agent's datagrams are handed out; another sender's are dropped.
    std::uint32_t sender = 0;
    const std::uint8_t* bytes = receiveFrom(&sender);
    return bytes != nullptr && fromAgent(sender) ? decoded(bytes) : nullptr;
}

bool isBroadcastAddress(const std::vector<net::InterfaceAddress>& interfaces, std::uint32_t address) {
    if (address == 0xFFFFFFFFu) return true;
    const auto own = [address](const net::InterfaceAddress& i) { return i.own == address; };
    if (std::any_of(interfaces.begin(), interfaces.end(), own)) return false;
    return std::any_of(interfaces.begin(), interfaces.end(), [address](const net::InterfaceAddress& i) {
        const std::uint32_t directed = (i.own & i.mask) | ~i.mask;
        return i.up && i.broadcastFlag && !i.pointToPoint && (i.mask & 3u) == 0 && directed == address &&
               i.broadcast == address;
    });
}
