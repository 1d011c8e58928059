#include "walker/walk.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <utility>

#include "snmp/message.h"
#include "transport/transport.h"

namespace {

constexpr std::int32_t kRequestId = 123;
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

using Clock = std::chrono::steady_clock;

// Everything the walk prints goes through one buffer of its own, handed to the
// stream in large blocks: a row costs a copy, not a call into stdio. The
// buffer goes out before a wait once a tenth of a second has passed since it
// last went out (so rows from a slow device show as they come), before each
// wait in debug mode, and when the walk ends.
class Output {
public:
    explicit Output(std::FILE* stream) : stream_(stream), flushedAt_(Clock::now()) {}
    ~Output() { flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void write(const char* text, std::size_t n) {
        if (n > sizeof buffer_ - used_) {
            flush();
            if (n > sizeof buffer_) {
                std::fwrite(text, 1, n, stream_);
                return;
            }
        }
        std::memcpy(buffer_ + used_, text, n);
        used_ += n;
    }
    void flush() {
        if (used_ != 0) std::fwrite(buffer_, 1, used_, stream_);
        used_ = 0;
        std::fflush(stream_);
    }
    // Flushes when the buffer has waited long enough; now is the caller's clock reading.
    void flushIfDue(Clock::time_point now) {
        if (now - flushedAt_ < std::chrono::milliseconds(100)) return;
        flush();
        flushedAt_ = now;
    }

private:
    std::FILE* stream_;
    Clock::time_point flushedAt_;
    std::size_t used_ = 0;
    char buffer_[8192];
};

void put(Output& out, const char* text) { out.write(text, std::strlen(text)); }

void put(Output& out, const std::string& text) { out.write(text.data(), text.size()); }

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
    std::string setAside;  // the OID of the latest reply set aside as not advancing
};

// Sends the request up to three times and waits for a reply after each send.
// A reply that names an OID at or before the one asked for is a late copy of an
// earlier answer (or an agent that does not advance): it is set aside and the
// wait goes on for the rest of that attempt's time.
void exchange(SnmpTransport& transport, SnmpMessage& request, SnmpOid& asked, const WalkSettings& settings,
              Output& out, Exchange& result) {
    result.accepted = false;
    const bool debug = settings.debugMode;
    for (int tries = 0; tries < kAttempts;) {
        // What was printed goes out before the next request, if it has waited long enough.
        const auto start = Clock::now();
        out.flushIfDue(start);
        if (debug) {
            put(out, "\nSending GETNEXT: ");
            put(out, asked.toString());
            put(out, "...");
        }
        transport.send(request);
        if (debug) put(out, "sent\n");
        ++tries;
        if (debug) {
            put(out, "Receiving response...");
            out.flush();
        }
        transport.setTimeoutMilliseconds(settings.timeoutMs);
        for (;;) {
            result.reply.reset(transport.receive());
            if (!result.reply) break;
            SnmpOid* name = firstName(*result.reply);
            if (name == nullptr || result.reply->requestId() != kRequestId || result.reply->errorStatus() != 0) break;
            result.replyArcs->read(*name);
            if (follows(*name, *result.replyArcs, asked, *result.askedArcs)) {
                result.accepted = true;
                break;
            }
            result.setAside = name->toString();
            if (debug) {
                put(out, "ignored a reply for ");
                put(out, result.setAside);
                put(out, "...");
            }
            result.reply.reset();
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            const auto left = settings.timeoutMs - waited;
            transport.setTimeoutMilliseconds(static_cast<std::int32_t>(left > 0 ? left : 0));
        }
        if (debug) put(out, "completed...");
        if (result.reply) return;
    }
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
        put(out, value != nullptr ? value->toString() : "NULL");
        p = line;
    }
    *p++ = '\t';
    p = putDecimal(p, ifIndex);
    *p++ = '\n';
    out.write(line, static_cast<std::size_t>(p - line));
}

}  // namespace

WalkEnd walkArpTable(const WalkSettings& settings, std::FILE* stream) {
    Output out(stream);
    const bool debug = settings.debugMode;
    const Column& column = settings.useOldOids ? kOldAt : kNetToMedia;

    SnmpMessage request(pdutags::kGetNextRequest, 0);
    request.setCommunity(settings.community.c_str());
    request.setRequestId(kRequestId);
    SnmpOid* currentOid = new SnmpOid(column.oid);
    request.addVarbind(new SnmpVarbind(currentOid, nullptr));

    SnmpTransport transport(settings.port, settings.agent.c_str());
    transport.setTimeoutMilliseconds(settings.timeoutMs);

    auto result = std::make_unique<Exchange>();
    result->askedArcs->read(*currentOid);
    for (;;) {
        result->setAside.clear();
        exchange(transport, request, *currentOid, settings, out, *result);
        SnmpMessage* reply = result->reply.get();
        if (reply == nullptr) {
            if (!result->setAside.empty()) {
                put(out, "ERROR: The device keeps answering with OID ");
                put(out, result->setAside);
                put(out, ", which does not follow ");
                put(out, currentOid->toString());
                put(out, "; the walk cannot go on.\n");
                return WalkEnd::NotAdvancing;
            }
            put(out,
                "ERROR P1: No returned packet.  Your SNMP community string may be incorrect, or there may be a "
                "problem communicating with the device.\n");
            return WalkEnd::NoReply;
        }
        if (debug) put(out, "received...");
        if (!result->accepted && reply->requestId() != kRequestId) {
            put(out, "ERROR P1: Request ID does not match\n");
            return WalkEnd::RequestIdWrong;
        }
        if (debug) put(out, "RequestID matches...");
        if (!result->accepted && reply->errorStatus() != 0) {
            put(out, "ERROR P1: Error receiving packet\n");
            return WalkEnd::ErrorStatus;
        }
        if (debug) put(out, "No SNMP Error\n");
        SnmpVarbind* binding = firstBinding(*reply);
        if (binding == nullptr || binding->name() == nullptr) {
            // A GetResponse to a GetNextRequest always carries the binding asked
            // for; without one the table's end is not known, so this is no end.
            put(out, "ERROR: The reply holds no variable binding\n");
            return WalkEnd::NoBinding;
        }
        SnmpOid* name = binding->name();
        if (debug) {
            put(out, "OID Response:    ");
            put(out, name->toString());
            put(out, "\n");
        }
        // The reply's OID as text begins with the column's OID and a dot exactly
        // when its arcs begin with the column's arcs and go on after them.
        const Arcs& arcs = *result->replyArcs;
        const bool inColumn = arcs.count > kColumnArcs && column.holds(arcs.arc);
        if (!inColumn) {
            if (debug) put(out, "\n\nOID is outside list\n\n");
            return WalkEnd::EndOfColumn;
        }
        if (arcs.count < kColumnArcs + static_cast<std::size_t>(column.numbers)) {
            put(out, "ERROR: Mac address could not be read\n");
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
