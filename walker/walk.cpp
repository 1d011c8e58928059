#include "walker/walk.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <utility>

#include "snmp/message.h"
#include "transport/sockets.h"
#include "transport/transport.h"

namespace {

constexpr std::int32_t kRequestId = 123;
// The error-status with which an SNMPv1 agent says that no object follows.
constexpr std::int32_t kNoSuchName = 2;
constexpr int kAttempts = 3;
// Arcs read out of a reply's OID: the column's ten, the index's five or six,
// and room to spare. Arcs beyond are counted, not kept.
constexpr std::size_t kMaxArcs = 32;

// Both columns have ten arcs.
constexpr std::size_t kColumnArcs = 10;

struct Column {
    const char* oid;
    std::uint32_t arcs[kColumnArcs];
    int numbers;  // numbers in the index: ifIndex[.kind].a.b.c.d

    // Whether arcs begin with the column's ten, compared two at a time.
    bool holds(const std::uint32_t* arc) const {
        std::uint64_t differ = 0;
        for (std::size_t i = 0; i < kColumnArcs; i += 2) {
            std::uint64_t x = 0;
            std::uint64_t y = 0;
            std::memcpy(&x, arc + i, 8);
            std::memcpy(&y, arcs + i, 8);
            differ |= x ^ y;
        }
        return differ == 0;
    }
};

const Column kNetToMedia{kNetToMediaColumn, {1, 3, 6, 1, 2, 1, 4, 22, 1, 2}, 5};
const Column kOldAt{kOldAtColumn, {1, 3, 6, 1, 2, 1, 3, 1, 1, 2}, 6};

using Clock = Output::Clock;

// Rows wait in the output buffer while replies come quickly. Before a request
// goes out they are written once the buffer last went out this long ago, and
// a wait that lasts longer than a slice writes them while the device is slow:
// a row received is on the stream within about 50 ms whatever comes next.
constexpr auto kRowAge = std::chrono::milliseconds(40);
constexpr auto kIdleSlice = std::chrono::milliseconds(10);

// An OID with its arcs read out once.
struct Arcs {
    std::uint32_t arc[kMaxArcs];
    std::size_t count = 0;
    bool canonical = false;

    void read(const SnmpOid& oid) { count = oid.arcs(arc, kMaxArcs, &canonical); }
    bool whole() const { return count <= kMaxArcs; }
};

// Whether the reply's name follows the one asked for, from their arcs when
// both were read whole.
bool follows(const SnmpOid& name, const Arcs& nameArcs, const SnmpOid& asked, const Arcs& askedArcs) {
    if (nameArcs.whole() && askedArcs.whole())
        return compareArcs(nameArcs.arc, nameArcs.count, askedArcs.arc, askedArcs.count) > 0;
    return compareOids(name, asked) > 0;
}

SnmpVarbind* firstBinding(SnmpMessage& message) { return message.varbindList()->head(); }

SnmpOid* firstName(SnmpMessage& message) {
    SnmpVarbind* head = firstBinding(message);
    return head != nullptr ? head->name() : nullptr;
}

// How an exchange (up to three attempts for one OID) ended.
enum class Outcome {
    Reply,        // a reply to look at: accepted, or to be refused by the walk
    NoReply,      // three attempts without one
    Interrupted,  // a request to stop came
    OutputFailed, // the output failed, so nothing more is sent
};

struct Exchange {
    std::unique_ptr<SnmpMessage> reply;
    // The arcs of the OID asked for and of the reply's name; after a row the
    // reply's become the next request's, so the two swap.
    Arcs arcs[2];
    Arcs* askedArcs = &arcs[0];
    Arcs* replyArcs = &arcs[1];
    // The reply has a name, request-id 123, no error and follows the OID asked
    // for: the walk need not check those again.
    bool accepted = false;
    int setAsideAttempts = 0;  // attempts that drew a reply set aside as not advancing
    std::string setAside;      // the OID of the latest such reply
};

// Milliseconds from now to the deadline, rounded up, so that a wait never ends
// before it; 0 once the deadline has passed.
std::int32_t millisecondsUntil(Clock::time_point deadline, Clock::time_point now) {
    if (deadline <= now) return 0;
    return static_cast<std::int32_t>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
}

// Sends the request up to three times and waits for a reply after each send.
// A reply that names an OID at or before the one asked for is a late copy of an
// earlier answer (or an agent that does not advance), and a datagram that
// cannot be decoded is no answer at all: either is set aside, and the wait goes
// on for the rest of that attempt's time.
Outcome exchange(SnmpTransport& transport, SnmpMessage& request, SnmpOid& asked, const WalkSettings& settings,
                 Output& out, Exchange& result) {
    result.accepted = false;
    result.setAsideAttempts = 0;
    const bool debug = settings.debugMode;
    for (int tries = 0; tries < kAttempts;) {
        if (net::interruption() != 0) return Outcome::Interrupted;
        const auto start = Clock::now();
        out.flushIfOlder(start, kRowAge);
        if (out.failed()) return Outcome::OutputFailed;
        if (debug) {
            out.put("\nSending GETNEXT: ");
            out.put(asked.toString());
            out.put("...");
        }
        transport.send(request);
        if (debug) out.put("sent\n");
        ++tries;
        if (debug) {
            out.put("Receiving response...");
            if (!out.flush()) return Outcome::OutputFailed;
        }
        const auto deadline = start + std::chrono::milliseconds(settings.timeoutMs);
        bool setAsideHere = false;
        for (auto now = start;; now = Clock::now()) {
            const std::int32_t left = millisecondsUntil(deadline, now);
            if (left == 0) break;
            // While rows wait in the buffer, the wait goes in a short slice first.
            const bool sliced = out.pending() && left > kIdleSlice.count();
            transport.setTimeoutMilliseconds(sliced ? static_cast<std::int32_t>(kIdleSlice.count()) : left);
            result.reply.reset(transport.receive());
            const Received what = transport.received();
            if (what == Received::Interrupted) return Outcome::Interrupted;
            if (what == Received::TimedOut && sliced) {
                if (!out.flush()) return Outcome::OutputFailed;
                continue;
            }
            if (what == Received::Unreadable) {
                if (debug) out.put("ignored an unreadable datagram...");
                continue;
            }
            if (!result.reply) break;
            SnmpOid* name = firstName(*result.reply);
            if (name == nullptr || result.reply->requestId() != kRequestId || result.reply->errorStatus() != 0) break;
            result.replyArcs->read(*name);
            if (follows(*name, *result.replyArcs, asked, *result.askedArcs)) {
                result.accepted = true;
                break;
            }
            result.setAside = name->toString();
            setAsideHere = true;
            if (debug) {
                out.put("ignored a reply for ");
                out.put(result.setAside);
                out.put("...");
            }
            result.reply.reset();
        }
        if (setAsideHere) ++result.setAsideAttempts;
        if (debug) out.put("completed...");
        if (result.reply) return Outcome::Reply;
    }
    return Outcome::NoReply;
}

// "00" to "99", and every byte as two lower-case hex digits: a row is made of
// table look-ups, two characters at a time.
struct Digits {
    char decimal[200];
    char hex[512];
    constexpr Digits() : decimal(), hex() {
        const char* h = "0123456789abcdef";
        for (int i = 0; i < 100; ++i) {
            decimal[2 * i] = static_cast<char>('0' + i / 10);
            decimal[2 * i + 1] = static_cast<char>('0' + i % 10);
        }
        for (int i = 0; i < 256; ++i) {
            hex[2 * i] = h[i >> 4];
            hex[2 * i + 1] = h[i & 15];
        }
    }
};
constexpr Digits kDigits;

// Writes v (1000 or more) in decimal at p; returns the end.
char* putLongDecimal(char* p, std::uint32_t v) {
    std::size_t n = 4;
    for (std::uint32_t limit = 10000; n < 10 && v >= limit; limit *= 10) ++n;
    char* const end = p + n;
    char* d = end;
    while (v >= 100) {
        const std::uint32_t pair = v % 100;
        v /= 100;
        d -= 2;
        std::memcpy(d, kDigits.decimal + 2 * pair, 2);
    }
    if (v >= 10) {
        d -= 2;
        std::memcpy(d, kDigits.decimal + 2 * v, 2);
    } else {
        *--d = static_cast<char>('0' + v);
    }
    return end;
}

// Writes v in decimal at p; returns the end. Addresses are made of numbers
// below 1000, which take a short way.
inline char* putDecimal(char* p, std::uint32_t v) {
    if (v < 10) {
        *p = static_cast<char>('0' + v);
        return p + 1;
    }
    if (v < 100) {
        std::memcpy(p, kDigits.decimal + 2 * v, 2);
        return p + 2;
    }
    if (v < 1000) {
        *p = static_cast<char>('0' + v / 100);
        std::memcpy(p + 1, kDigits.decimal + 2 * (v % 100), 2);
        return p + 3;
    }
    return putLongDecimal(p, v);
}

// Prints one row: the address, the MAC column and the interface index. The
// MAC column shows the first six bytes of a byte-string value (OCTET STRING,
// IpAddress, Opaque) as two lower-case hex digits each, joined by "-"; fewer
// bytes give fewer groups. Any other value shows its own text.
void printRow(Output& out, const std::uint32_t* address, SnmpValue* value, std::uint32_t ifIndex) {
    // Four numbers of at most ten digits, six hex pairs, one more number and
    // the separators: 73 bytes at most.
    char line[96];
    char* p = line;
    for (int i = 0; i < 4; ++i) {
        p = putDecimal(p, address[i]);
        *p++ = '.';
    }
    p[-1] = '\t';
    const std::uint16_t tag = value != nullptr ? value->tag() : 0;
    if (tag == tags::kOctetString || tag == tags::kIpAddress || tag == tags::kOpaque) {
        const auto* bytesValue = static_cast<SnmpByteValue*>(value);
        const std::uint8_t* b = bytesValue->bytes();
        const std::size_t n = bytesValue->contentLength() < 6 ? bytesValue->contentLength() : 6;
        // Each byte as two digits and a dash; the last dash becomes the tab.
        for (std::size_t i = 0; i < n; ++i) {
            std::memcpy(p, kDigits.hex + 2 * b[i], 2);
            p[2] = '-';
            p += 3;
        }
        if (n != 0) --p;
    } else {
        // A text of any length goes out on its own.
        out.write(line, static_cast<std::size_t>(p - line));
        out.put(value != nullptr ? value->toString() : "NULL");
        p = line;
    }
    *p++ = '\t';
    p = putDecimal(p, ifIndex);
    *p++ = '\n';
    out.write(line, static_cast<std::size_t>(p - line));
}

// The request of the whole walk, its binding named oid.
void prepareRequest(SnmpMessage& request, const std::string& community, SnmpOid* oid) {
    request.setCommunity(community.c_str());
    request.setRequestId(kRequestId);
    request.addVarbind(new SnmpVarbind(oid, nullptr));
}

}  // namespace

bool requestsFit(const std::string& community, bool useOldOids) {
    const Column& column = useOldOids ? kOldAt : kNetToMedia;
    std::string oid = column.oid;
    for (int i = 0; i < column.numbers; ++i) oid += ".4294967295";
    SnmpMessage request(pdutags::kGetNextRequest, 0);
    prepareRequest(request, community, new SnmpOid(oid.c_str()));
    return static_cast<std::size_t>(request.encodedLength()) <= limits::kMaxDatagram;
}

namespace {

WalkEnd walk(const WalkSettings& settings, Output& out) {
    const bool debug = settings.debugMode;
    const Column& column = settings.useOldOids ? kOldAt : kNetToMedia;

    SnmpMessage request(pdutags::kGetNextRequest, 0);
    SnmpOid* currentOid = new SnmpOid(column.oid);
    prepareRequest(request, settings.community, currentOid);

    // Each wait sets its own time-out, from the attempt's deadline.
    SnmpTransport transport(settings.port, settings.agent.c_str());

    auto result = std::make_unique<Exchange>();
    result->askedArcs->read(*currentOid);
    for (;;) {
        const Outcome outcome = exchange(transport, request, *currentOid, settings, out, *result);
        if (outcome == Outcome::Interrupted) return WalkEnd::Interrupted;
        if (outcome == Outcome::OutputFailed) return WalkEnd::OutputFailed;
        SnmpMessage* reply = result->reply.get();
        if (reply == nullptr) {
            // Only a device that answered every attempt, and never past the OID
            // asked for, keeps the walk from going on; anything less is silence.
            if (result->setAsideAttempts == kAttempts) {
                out.put("ERROR: Asked for the OID after ");
                out.put(currentOid->toString());
                out.put(", the device keeps answering with ");
                out.put(result->setAside);
                out.put("; the walk cannot go on.\n");
                return WalkEnd::NotAdvancing;
            }
            out.put(
                "ERROR P1: No returned packet.  Your SNMP community string may be incorrect, or there may be a "
                "problem communicating with the device.\n");
            return WalkEnd::NoReply;
        }
        if (debug) out.put("received...");
        if (!result->accepted && reply->requestId() != kRequestId) {
            out.put("ERROR P1: Request ID does not match\n");
            return WalkEnd::RequestIdWrong;
        }
        if (debug) out.put("RequestID matches...");
        if (!result->accepted && reply->errorStatus() != 0) {
            // RFC 1157, 4.1.3: an SNMPv1 agent answers a GetNext past the last
            // object it shows with noSuchName. Its view ends here, and so does
            // the column within it.
            if (reply->errorStatus() == kNoSuchName) {
                if (debug) out.put("noSuchName\n\nNo OID follows in the device's view\n\n");
                return WalkEnd::EndOfColumn;
            }
            out.put("ERROR P1: Error receiving packet\n");
            return WalkEnd::ErrorStatus;
        }
        if (debug) out.put("No SNMP Error\n");
        SnmpVarbind* binding = firstBinding(*reply);
        if (binding == nullptr || binding->name() == nullptr) {
            // A GetResponse to a GetNextRequest always carries the binding asked
            // for; without one the table's end is not known, so this is no end.
            out.put("ERROR: The reply holds no variable binding\n");
            return WalkEnd::NoBinding;
        }
        SnmpOid* name = binding->name();
        if (debug) {
            out.put("OID Response:    ");
            out.put(name->toString());
            out.put("\n");
        }
        // The reply's OID as text begins with the column's OID and a dot exactly
        // when its arcs begin with the column's arcs and go on after them.
        const Arcs& arcs = *result->replyArcs;
        const bool inColumn = arcs.count > kColumnArcs && column.holds(arcs.arc);
        if (!inColumn) {
            if (debug) out.put("\n\nOID is outside list\n\n");
            return WalkEnd::EndOfColumn;
        }
        if (arcs.count < kColumnArcs + static_cast<std::size_t>(column.numbers)) {
            out.put("ERROR: Mac address could not be read\n");
            return WalkEnd::BadIndex;
        }
        // The interface index is the first number after the column; the address the last four.
        const std::uint32_t* index = arcs.arc + kColumnArcs;
        printRow(out, index + column.numbers - 4, binding->value(), index[0]);

        // The next request names the OID of this row. The reply's own name
        // object moves over when it is exactly what its text would make.
        SnmpOid* next = nullptr;
        if (arcs.canonical) {
            binding->setName(nullptr);
            next = name;
        } else {
            next = new SnmpOid(name->toString());
        }
        request.varbindList()->head()->setName(next);
        delete currentOid;
        currentOid = next;
        std::swap(result->askedArcs, result->replyArcs);
    }
}

}  // namespace

WalkEnd walkArpTable(const WalkSettings& settings, Output& out) {
    const WalkEnd end = walk(settings, out);
    // Everything received goes out as the walk ends, however it ended; a
    // request to stop stays the reason even if that last write fails.
    if (!out.flush() && end != WalkEnd::Interrupted) return WalkEnd::OutputFailed;
    return end;
}
