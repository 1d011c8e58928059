#include "walker/walk.h"

#include <chrono>
#include <cstring>
#include <memory>

#include "snmp/message.h"
#include "transport/transport.h"

namespace {

constexpr std::int32_t kRequestId = 123;
constexpr int kAttempts = 3;

struct Column {
    const char* oid;
    const char* prefix;       // with its trailing dot
    std::size_t prefixLength;
    int numbers;              // numbers in the index: ifIndex[.kind].a.b.c.d
};

const Column kNetToMedia{kNetToMediaColumn, "1.3.6.1.2.1.4.22.1.2.", 21, 5};
const Column kOldAt{kOldAtColumn, "1.3.6.1.2.1.3.1.1.2.", 20, 6};

void put(std::FILE* out, const char* text) { std::fputs(text, out); }

void put(std::FILE* out, const std::string& text) { std::fwrite(text.data(), 1, text.size(), out); }

// Reads up to wanted unsigned decimal numbers separated by single dots, as
// "%u.%u..." reads them; returns how many it read.
int readIndex(const char* text, std::uint32_t* numbers, int wanted) {
    int count = 0;
    const char* p = text;
    while (count < wanted) {
        if (*p < '0' || *p > '9') break;
        std::uint64_t v = 0;
        while (*p >= '0' && *p <= '9') {
            v = v * 10 + static_cast<std::uint64_t>(*p++ - '0');
            if (v > 0xFFFFFFFFu) return count;
        }
        numbers[count++] = static_cast<std::uint32_t>(v);
        if (count < wanted) {
            if (*p != '.') break;
            ++p;
        }
    }
    return count;
}

SnmpOid* firstName(SnmpMessage& message) {
    SnmpVarbind* head = message.varbindList()->head();
    return head != nullptr ? head->name() : nullptr;
}

// Sends the request up to three times and waits for a reply after each send.
// A reply that names an OID at or before the one asked for is a late copy of an
// earlier answer (or an agent that does not advance): it is set aside and the
// wait goes on for the rest of that attempt's time.
std::unique_ptr<SnmpMessage> exchange(SnmpTransport& transport, SnmpMessage& request, const SnmpOid& asked,
                                      const std::string& oidText, const WalkSettings& settings, std::FILE* out,
                                      std::string& setAside) {
    using Clock = std::chrono::steady_clock;
    for (int tries = 0; tries < kAttempts;) {
        if (settings.debugMode) {
            put(out, "\nSending GETNEXT: ");
            put(out, oidText);
            put(out, "...");
        }
        transport.send(request);
        if (settings.debugMode) put(out, "sent\n");
        ++tries;
        if (settings.debugMode) {
            put(out, "Receiving response...");
            std::fflush(out);
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(settings.timeoutMs);
        std::unique_ptr<SnmpMessage> reply;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            transport.setTimeoutMilliseconds(static_cast<std::int32_t>(left > 0 ? left : 0));
            reply.reset(transport.receive());
            if (!reply) break;
            SnmpOid* name = firstName(*reply);
            const bool stale = reply->requestId() == kRequestId && reply->errorStatus() == 0 && name != nullptr &&
                               compareOids(*name, asked) <= 0;
            if (!stale) break;
            setAside = name->toString();
            if (settings.debugMode) {
                put(out, "ignored a reply for ");
                put(out, setAside);
                put(out, "...");
            }
            reply.reset();
        }
        if (settings.debugMode) put(out, "completed...");
        if (reply) return reply;
    }
    return nullptr;
}

}  // namespace

void appendMac(std::string& out, SnmpValue* value) {
    auto* bytesValue = dynamic_cast<SnmpByteValue*>(value);
    if (bytesValue == nullptr || dynamic_cast<SnmpOid*>(value) != nullptr) {
        out += value != nullptr ? value->toString() : "NULL";
        return;
    }
    static const char kHex[] = "0123456789abcdef";
    const std::uint8_t* b = bytesValue->bytes();
    const std::size_t n = bytesValue->contentLength() < 6 ? bytesValue->contentLength() : 6;
    for (std::size_t i = 0; i < n; ++i) {
        if (i != 0) out.push_back('-');
        out.push_back(kHex[b[i] >> 4]);
        out.push_back(kHex[b[i] & 0x0F]);
    }
}

WalkEnd walkArpTable(const WalkSettings& settings, std::FILE* out) {
    const Column& column = settings.useOldOids ? kOldAt : kNetToMedia;
    std::string oidText = column.oid;

    SnmpMessage request(pdutags::kGetNextRequest, 0);
    request.setCommunity(settings.community.c_str());
    request.setRequestId(kRequestId);
    SnmpOid* currentOid = new SnmpOid(oidText.c_str());
    request.addVarbind(new SnmpVarbind(currentOid, nullptr));

    SnmpTransport transport(settings.port, settings.agent.c_str());
    transport.setTimeoutMilliseconds(settings.timeoutMs);

    std::string row;
    std::uint32_t numbers[6];
    for (;;) {
        std::string setAside;
        std::unique_ptr<SnmpMessage> reply =
            exchange(transport, request, *currentOid, oidText, settings, out, setAside);
        if (!reply) {
            if (!setAside.empty()) {
                put(out, "ERROR: The device keeps answering with OID ");
                put(out, setAside);
                put(out, ", which does not follow ");
                put(out, oidText);
                put(out, "; the walk cannot go on.\n");
                return WalkEnd::NotAdvancing;
            }
            put(out,
                "ERROR P1: No returned packet.  Your SNMP community string may be incorrect, or there may be a "
                "problem communicating with the device.\n");
            return WalkEnd::NoReply;
        }
        if (settings.debugMode) put(out, "received...");
        if (reply->requestId() != kRequestId) {
            put(out, "ERROR P1: Request ID does not match\n");
            return WalkEnd::RequestIdWrong;
        }
        if (settings.debugMode) put(out, "RequestID matches...");
        if (reply->errorStatus() != 0) {
            put(out, "ERROR P1: Error receiving packet\n");
            return WalkEnd::ErrorStatus;
        }
        if (settings.debugMode) put(out, "No SNMP Error\n");
        SnmpOid* name = firstName(*reply);
        if (name == nullptr) {
            // A GetResponse to a GetNextRequest always carries the binding asked
            // for; without one the table's end is not known, so this is no end.
            put(out, "ERROR: The reply holds no variable binding\n");
            return WalkEnd::NoBinding;
        }
        oidText = name->toString();
        if (settings.debugMode) {
            put(out, "OID Response:    ");
            put(out, oidText);
            put(out, "\n");
        }
        if (oidText.compare(0, column.prefixLength, column.prefix) != 0) {
            if (settings.debugMode) put(out, "\n\nOID is outside list\n\n");
            return WalkEnd::EndOfColumn;
        }
        if (readIndex(oidText.c_str() + column.prefixLength, numbers, column.numbers) != column.numbers) {
            put(out, "ERROR: Mac address could not be read\n");
            return WalkEnd::BadIndex;
        }
        // The address is the last four numbers; the interface index the first.
        const std::uint32_t* address = numbers + column.numbers - 4;
        row.clear();
        for (int i = 0; i < 4; ++i) {
            appendDecimal(row, address[i]);
            row.push_back(i < 3 ? '.' : '\t');
        }
        appendMac(row, reply->varbindList()->head()->value());
        row.push_back('\t');
        appendDecimal(row, numbers[0]);
        row.push_back('\n');
        put(out, row);

        // The next request names the OID of this row.
        SnmpOid* next = new SnmpOid(oidText.c_str());
        request.varbindList()->head()->setName(next);
        delete currentOid;
        currentOid = next;
    }
}
