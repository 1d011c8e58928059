// A small UDP responder on 127.0.0.1 for tests: each request it receives is
// decoded and handed to a script, which says what to send back and when.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "snmp/decoder.h"
#include "tests/messages.h"
#include "transport/sockets.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

struct ScriptedReply {
    Bytes bytes;
    int delayMs = 0;
};

// A UDP socket bound to a loopback address of its own, such as 127.0.0.2.
inline net::SocketHandle openOnLoopback(const char* address) {
    const net::SocketHandle s = net::openUdpSocket();
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = inet_addr(address);
    bind(static_cast<decltype(socket(0, 0, 0))>(s), reinterpret_cast<const sockaddr*>(&local), sizeof local);
    return s;
}

// A port on 127.0.0.1 where nothing listens: one the system has just given
// to a socket that is closed again.
inline std::uint16_t closedPort() {
    const net::SocketHandle s = net::openUdpSocket();
    net::bindAny(s, 0);
    const std::uint16_t port = net::localPort(s);
    net::closeSocket(s);
    return port;
}

// Whether a socket bound to 127.0.0.2 sends from there. Wine binds one to any
// address instead, so its datagrams come from 127.0.0.1 like the agent's.
inline bool sendsFromAnotherAddress() {
    net::startup();
    const net::SocketHandle alias = openOnLoopback("127.0.0.2");
    const net::SocketHandle probe = net::openUdpSocket();
    net::bindAny(probe, 0);
    std::uint8_t byte = 0;
    net::sendTo(alias, &byte, 1, 0x7F000001, net::localPort(probe));
    std::uint32_t from = 0;
    const bool another = net::waitReadable(probe, 1000) == net::Wait::Readable &&
                         net::receiveFrom(probe, &byte, 1, &from) == 1 && from == 0x7F000002;
    net::closeSocket(alias);
    net::closeSocket(probe);
    net::cleanup();
    return another;
}

class ScriptedAgent {
public:
    // The script gets the decoded request (null if it did not decode) and its
    // number, counted from 1, and returns the replies to send.
    using Script = std::function<std::vector<ScriptedReply>(SnmpMessage* request, int number)>;

    explicit ScriptedAgent(Script script) : script_(std::move(script)) {
        net::startup();
        socket_ = net::openUdpSocket();
        net::bindAny(socket_, 0);
        port_ = net::localPort(socket_);
        thread_ = std::thread([this] { serve(); });
    }

    ~ScriptedAgent() {
        stop_ = true;
        thread_.join();
        net::closeSocket(socket_);
        net::cleanup();
    }

    std::uint16_t port() const { return port_; }

    int requests() const { return requests_; }
    // The same, once at least n requests have come, or after two seconds.
    int requestsOnceThere(int n) const {
        for (int waited = 0; requests_ < n && waited < 2000; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return requests_;
    }

    // The OID texts of the requests received, in order.
    std::vector<std::string> requestedOids() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requestedOids_;
    }

    // Raw bytes of the latest request.
    Bytes lastRequest() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lastRequest_;
    }

private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        Bytes bytes;
        std::uint32_t address;
        std::uint16_t port;
    };

    void serve() {
        std::vector<Pending> pending;
        std::vector<std::uint8_t> buffer(65536);
        while (!stop_) {
            const auto now = std::chrono::steady_clock::now();
            std::vector<Pending> later;
            for (Pending& p : pending) {
                if (p.due <= now) {
                    net::sendTo(socket_, p.bytes.data(), p.bytes.size(), p.address, p.port);
                } else {
                    later.push_back(std::move(p));
                }
            }
            pending.swap(later);
            if (net::waitReadable(socket_, 5) != net::Wait::Readable) continue;
            std::uint32_t address = 0;
            std::uint16_t port = 0;
            const int n = net::receiveFrom(socket_, buffer.data(), buffer.size(), &address, &port);
            if (n <= 0) continue;
            const auto request = decoded(buffer.data(), static_cast<std::size_t>(n));
            {
                std::lock_guard<std::mutex> lock(mutex_);
                lastRequest_.assign(buffer.begin(), buffer.begin() + n);
                requestedOids_.push_back(request ? request->varbindName(1) : "?");
            }
            const int number = ++requests_;
            for (auto& reply : script_(request.get(), number)) {
                pending.push_back({std::chrono::steady_clock::now() + std::chrono::milliseconds(reply.delayMs),
                                   std::move(reply.bytes), address, port});
            }
        }
    }

    Script script_;
    net::SocketHandle socket_;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::mutex mutex_;
    std::vector<std::string> requestedOids_;
    Bytes lastRequest_;
    std::thread thread_;
};

// A script that answers every request with the same datagram.
inline ScriptedAgent::Script always(Bytes reply) {
    return [reply](SnmpMessage*, int) { return std::vector<ScriptedReply>{{reply}}; };
}

// A table entry: its OID, and a maker of its value (made anew for each reply).
struct Entry {
    std::string oid;
    std::function<SnmpValue*()> value;
};

// An entry of the default column (or of column) with a MAC address in hex.
inline Entry mac(const std::string& index, const char* hex, const char* column = "1.3.6.1.2.1.4.22.1.2.") {
    return {column + index, [hex] { return macValue(hex); }};
}

// Answers each GetNext with the first entry beyond the OID asked for, or with
// an OID of the next column when there is none.
inline ScriptedAgent::Script tableScript(std::vector<Entry> entries, std::string after = "1.3.6.1.2.1.4.22.1.3.1.10.0.0.1") {
    return [entries, after](SnmpMessage* request, int) -> std::vector<ScriptedReply> {
        if (request == nullptr) return {};
        SnmpOid asked(request->varbindName(1));
        for (const Entry& e : entries) {
            SnmpOid candidate(e.oid.c_str());
            if (compareOids(candidate, asked) > 0) return {{makeResponse(e.oid.c_str(), e.value())}};
        }
        return {{makeResponse(after.c_str(), new SnmpInteger(3))}};
    };
}
