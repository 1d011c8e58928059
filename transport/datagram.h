// What the network reports, what a wait for a datagram comes to, what keeps a
// transport from being ready, and who counts as the agent: values and rules
// with no socket in them. Datagrams go only where snmp/message.h is included.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

class SnmpMessage;

namespace net {
// What the network reported about a datagram this socket sent: an ICMP
// error, as the system hands it up. Nothing here says what it means.
struct Report {
    enum Kind { PortUnreachable, HostUnreachable, NetworkUnreachable, Prohibited, TimeExceeded, Other };
    Kind kind = Other;
    std::uint32_t sender = 0;       // who sent the report; 0 when the system does not say
    std::uint32_t destination = 0;  // where the datagram it is about went; 0 when the system does not say
    std::uint16_t port = 0;         // and to which port
    std::uint8_t type = 0;          // the ICMP type and code, where the system gives them
    std::uint8_t code = 0;
    bool spent = false;  // an earlier report's error that the socket kept: nothing new
};
}  // namespace net

// What one wait for a datagram came to.
enum class Received {
    Message,      // a datagram that decoded to a message
    Unreadable,   // a datagram that did not: empty or damaged
    TooLong,      // a datagram longer than the receive buffer, as the system reports it
    Report,       // no datagram: the network's report about one sent (an ICMP error)
    TimedOut,     // nothing came in time
    Failed,       // the wait or the read failed, or the socket is not ready
    Interrupted,  // a request to stop ended the wait
};

// One wait's result: what came and, for a datagram, from whom. Whether it
// answers anything is the caller's to decide.
struct Datagram {
    Received what = Received::Failed;
    std::uint32_t sender = 0;              // the sender's IPv4 address, for the first three kinds
    std::unique_ptr<SnmpMessage> message;  // the decoded message, for Message
    net::Report report;                    // for Report; its destination is the peer's where the system says none
};

// What kept a transport from becoming ready, and the system's error code
// where the system gave one. The walker words it.
struct Unready {
    enum Cause {
        None,         // the transport is ready
        NoSocket,     // no UDP socket could be opened
        NotResolved,  // the name did not resolve to an IPv4 address (an empty one never does)
        ZeroAddress,  // 0.0.0.0, which names no device
        NotBound,     // the socket could not be bound
    };
    Cause cause = None;
    int code = 0;
};

// Whether a datagram from address counts as the agent's: asked at one
// device's address, only from that address; asked at a broadcast address,
// from any until a device has answered, then only from that one. A device
// may answer from any port of its own.
inline bool countsAsAgent(std::uint32_t address, std::uint32_t agent, bool broadcast,
                          std::optional<std::uint32_t> answered) {
    return broadcast ? !answered || address == *answered : address == agent;
}
