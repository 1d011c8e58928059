// libFuzzer target: the real walk (walkArpTable, in debug mode) against a
// responder on 127.0.0.1 that answers as the fuzz input says, through the real
// UDP transport, with a wait of 10 ms per attempt.
//
// The input is a script:
//   byte 0        bit 0: walk the older column (-o)
//   then pairs    (kind, arg): one step per request the walk sends, in order;
//                 at most 24 steps; requests after the last step get a
//                 correct answer at once.
// kind % 8:
//   0 answer now      the next row of the responder's table (or the next
//                     column's first OID past the table's end)
//   1 answer late     the same, (arg % 5) * 5 ms later
//   2 answer twice    the same now, and a copy (arg % 5) * 5 ms later
//   3 junk first      a datagram that cannot be decoded (arg % 4: empty,
//                     eight bytes of arg, a cut answer, 5000 bytes), then the answer
//   4 stay silent
//   5 error-status    error-status arg % 6 (2 is noSuchName), the OID asked for
//   6 other name      the name kNames[arg % 16] with a value of type (arg / 16) % 13
//   7 other id        the answer with request-id 124 + arg
// The responder's table: five rows of interface 1, addresses 10.0.0.1 to .5.
//
// Checked on every run, the run aborting when broken:
//   - the rows' OIDs strictly increase, so no row is printed twice;
//   - every row is one the responder sent (name and value) with request-id
//     123 and no error, printed as the value's bytes or text;
//   - the end agrees with the last lines: the end of the column only after an
//     OID outside it or noSuchName, with no ERROR line; the no-reply line for
//     no reply; one ERROR line, the last, for every other end;
//   - no OID is asked for more than three times, and the walk ends within
//     three waits per OID asked for, and a margin;
//   - no sanitizer report and no leak (the build's sanitizers).
// A finding is read step by step with the table above and becomes a unit test.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "tests/runner.h"
#include "tests/scripted_agent.h"

namespace {


constexpr int kTimeoutMs = 10;
constexpr std::size_t kMaxSteps = 24;

[[noreturn]] void broken(const char* what, const std::string& detail) {
    std::fprintf(stderr, "walk invariant broken: %s\n%s\n", what, detail.c_str());
    std::abort();
}

// Index suffixes of names in, before, after and outside a column. "@" stands
// for the column's own OID, "^" for its table entry (the column without its
// last arc), "+" for the next column and "-" for the one before.
const char* const kNames[16] = {
    "@.1.10.0.0.1", "@.1.10.0.0.3", "@.1.10.0.0.256", "@.4294967295.255.255.255.255",
    "@.1.10.0.0.2.7", "@.3.10.0", "@", "@.0",
    "-.1.10.0.0.1", "+.1.10.0.0.1", "^.20.1.10.0.0.1", "1.3.6.1.2.1.5.1.0",
    "1.3", "2.5.4294967295", "^", "@.1.10.0.0.4",
};

struct Walked {
    std::string oid, entry, next, before;
    std::size_t numbers;  // index numbers: ifIndex[.kind].a.b.c.d
    std::string index(int row) const {
        return (numbers == 6 ? "1.1.10.0.0." : "1.10.0.0.") + std::to_string(row);
    }
};

Walked columnFor(bool old) {
    if (old) return {kOldAtColumn, "1.3.6.1.2.1.3.1.1", "1.3.6.1.2.1.3.1.1.3", "1.3.6.1.2.1.3.1.1.1", 6};
    return {kNetToMediaColumn, "1.3.6.1.2.1.4.22.1", "1.3.6.1.2.1.4.22.1.3", "1.3.6.1.2.1.4.22.1.1", 5};
}

std::string nameFor(const Walked& column, const char* pattern) {
    std::string p = pattern;
    const char c = p[0];
    const std::string rest = p.substr(1);
    if (c == '@') return column.oid + rest;
    if (c == '^') return column.entry + rest;
    if (c == '+') return column.next + rest;
    if (c == '-') return column.before + rest;
    return p;
}

// A value of BER type kind, made through the decoder's constructors where the
// library has no other way to make one.
template <typename T>
SnmpValue* fromContent(const char* lengthAndContent, std::size_t n) {
    BerReader reader(reinterpret_cast<const std::uint8_t*>(lengthAndContent), n);
    return new T(reader);
}

SnmpValue* valueOfKind(int kind) {
    switch (kind % 13) {
        case 0: return new SnmpOctetString(reinterpret_cast<const std::uint8_t*>("\x00\x0c\x29\x3a\x4b\x5c"), 6);
        case 1: return new SnmpOctetString(reinterpret_cast<const std::uint8_t*>("\x01\x02\x03"), 3);
        case 2: return new SnmpOctetString(reinterpret_cast<const std::uint8_t*>(""), 0);
        case 3: return new SnmpOctetString("ABCDEFGH");
        case 4: return new SnmpIpAddress("10.1.2.3");
        case 5: return new SnmpInteger(-5);
        case 6: return fromContent<SnmpCounter>("\x02\x01\x00", 3);
        case 7: return fromContent<SnmpGauge>("\x04\xff\xff\xff\xff", 5);
        case 8: return new SnmpTimeTicks(4242);
        case 9: return fromContent<SnmpCounter64>("\x05\x01\x00\x00\x00\x00", 6);
        case 10: return fromContent<SnmpOpaque>("\x07\x61\x62\x63\x64\x65\x66\x67", 8);
        case 11: return nullptr;  // NULL
        default: return new SnmpOid("1.3.6.1.4.1.9");
    }
}

// What a row shows for a reply's first binding, worked out here on its own
// from the decoded reply: address and interface index from the name's index,
// the MAC column from the value's bytes or text.
std::string rowFor(SnmpMessage& reply, const Walked& column) {
    SnmpVarbind* binding = reply.varbindList()->head();
    if (binding == nullptr || binding->name() == nullptr) return {};
    const std::string name = binding->name()->toString();
    const std::string prefix = column.oid + ".";
    if (name.compare(0, prefix.size(), prefix) != 0) return {};
    std::vector<std::uint64_t> index;
    for (std::size_t at = prefix.size(); at <= name.size();) {
        const std::size_t dot = std::min(name.find('.', at), name.size());
        index.push_back(std::stoull(name.substr(at, dot - at)));
        at = dot + 1;
    }
    // Sub-identifiers are 32-bit: a wider one makes the reply unreadable.
    for (const std::uint64_t number : index) {
        if (number > 0xFFFFFFFFu) return {};
    }
    // The older column's index may leave out the address kind: five numbers.
    const bool withoutKind = column.numbers == 6 && index.size() == 5;
    if (index.size() < column.numbers && !withoutKind) return {};
    // The default column's longer indices may carry the address's kind (1)
    // and length (4) before the address.
    std::size_t at = withoutKind ? 1 : column.numbers - 4;
    if (column.numbers == 5 && index.size() > 5 && index[at] == 1) ++at;
    if (column.numbers == 5 && index.size() > 5 && index[at] == 4 && index.size() >= at + 5) ++at;
    std::string row;
    for (std::size_t i = at; i < at + 4; ++i) {
        // A number above 255 is no address byte: no row.
        if (index[i] > 255) return {};
        row += std::to_string(index[i]) + (i + 1 < at + 4 ? "." : "\t");
    }
    SnmpValue* value = binding->value();
    const std::uint16_t tag = value != nullptr ? value->tag() : 0;
    if (tag == tags::kOctetString || tag == tags::kIpAddress || tag == tags::kOpaque) {
        auto* bytes = static_cast<SnmpByteValue*>(value);
        char pair[4];
        for (std::size_t i = 0; i < bytes->contentLength() && i < 6; ++i) {
            std::snprintf(pair, sizeof pair, i == 0 ? "%02x" : "-%02x", bytes->bytes()[i]);
            row += pair;
        }
    } else {
        row += value != nullptr ? value->toString() : "NULL";
    }
    return row + "\t" + std::to_string(index[0]);
}

struct Step {
    int kind;
    int arg;
};

// The responder: the tests' scripted agent on 127.0.0.1, answering each
// request by the script and keeping the record the checks need.
class Responder {
public:
    Responder(const Walked& column, std::vector<Step> script)
        : column_(column), script_(std::move(script)),
          agent_([this](SnmpMessage* request, int number) { return steps(request, number); }) {}
    std::uint16_t port() const { return agent_.port(); }

    // Asked-for OID text to the number of requests that named it.
    std::map<std::string, int> asked;
    // Every name the responder sent with request-id 123 and no error, with the
    // rows its values make.
    std::map<std::string, std::set<std::string>> rows;

    std::mutex mutex;

private:
    Bytes reply(const std::string& name, SnmpValue* value, std::int32_t requestId, std::int32_t errorStatus) {
        Bytes bytes = makeResponse(name.c_str(), value, requestId, errorStatus);
        if (requestId == 123 && errorStatus == 0) {
            SnmpMessageDecoder decoder(bytes.data(), static_cast<std::int32_t>(bytes.size()));
            std::unique_ptr<SnmpMessage> decoded(decoder.release());
            if (decoded != nullptr) {
                std::lock_guard<std::mutex> lock(mutex);
                rows[decoded->varbindName(1)].insert(rowFor(*decoded, column_));
            }
        }
        return bytes;
    }

    // The correct answer: the table's next row after the OID asked for.
    Bytes answer(const SnmpOid& askedOid) {
        for (int row = 1; row <= 5; ++row) {
            const std::string name = column_.oid + "." + column_.index(row);
            SnmpOid candidate(name.c_str());
            if (compareOids(candidate, askedOid) > 0) return reply(name, valueOfKind(0), 123, 0);
        }
        return reply(column_.next + ".1", new SnmpInteger(1), 123, 0);
    }

    std::vector<ScriptedReply> steps(SnmpMessage* request, int number) {
        if (request == nullptr) broken("the walk sent a request that does not decode", "");
        const std::string askedText = request->varbindName(1);
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++asked[askedText];
        }
        const SnmpOid askedOid(askedText.c_str());
        const std::size_t n = static_cast<std::size_t>(number) - 1;
        const Step step = n < script_.size() ? script_[n] : Step{0, 0};
        const int later = step.arg % 5 * 5;
        switch (step.kind % 8) {
            case 0: return {{answer(askedOid)}};
            case 1: return {{answer(askedOid), later}};
            case 2: {
                Bytes once = answer(askedOid);
                return {{once}, {once, later}};
            }
            case 3: {
                Bytes whole = answer(askedOid);
                Bytes junk;
                switch (step.arg % 4) {
                    case 0: break;
                    case 1: junk.assign(8, static_cast<std::uint8_t>(step.arg)); break;
                    case 2: junk.assign(whole.begin(), whole.end() - 1 - step.arg % 8); break;
                    default: junk.assign(5000, 0x30); break;
                }
                return {{junk}, {whole}};
            }
            case 4: return {};
            case 5: return {{reply(askedText, nullptr, 123, step.arg % 6)}};
            case 6: return {{reply(nameFor(column_, kNames[step.arg % 16]), valueOfKind(step.arg / 16), 123, 0)}};
            default: return {{reply(column_.oid + ".1.10.0.0.1", nullptr, 124 + step.arg, 0)}};
        }
    }

    Walked column_;
    std::vector<Step> script_;
    ScriptedAgent agent_;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            out.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < text.size()) out.push_back(text.substr(start));
    return out;
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// In debug mode an error line follows the progress text on the same line.
std::size_t errorAt(const std::string& line) {
    const std::size_t p1 = line.find("ERROR P1: ");
    return p1 != std::string::npos ? p1 : line.find("ERROR: ");
}

void check(WalkEnd end, std::string output, Responder& responder, const Walked& column, double seconds) {
    std::lock_guard<std::mutex> lock(responder.mutex);
    // The run is said between the socket library's start-up and clean-up.
    if (!startsWith(output, kStartup.c_str()) || output.size() < kStartup.size() + kCleanup.size() ||
        output.compare(output.size() - kCleanup.size(), kCleanup.size(), kCleanup) != 0) {
        broken("a run not between the socket library's start-up and clean-up", output);
    }
    output = output.substr(kStartup.size(), output.size() - kStartup.size() - kCleanup.size());
    const std::vector<std::string> all = lines(output);
    // Rows, each the line after "OID Response:" that is neither blank, nor an
    // error, nor the index that could not be read.
    std::unique_ptr<SnmpOid> previous;
    int errors = 0;
    std::string lastResponse;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (errorAt(all[i]) != std::string::npos) ++errors;
        if (!startsWith(all[i], "OID Response:    ")) continue;
        lastResponse = all[i].substr(17);
        if (i + 1 >= all.size() || all[i + 1].empty() || errorAt(all[i + 1]) != std::string::npos ||
            startsWith(all[i + 1], "Index that could not be read: ")) {
            continue;
        }
        const std::string& row = all[i + 1];
        auto sent = responder.rows.find(lastResponse);
        if (sent == responder.rows.end()) broken("a row from a name the responder never sent", lastResponse);
        if (sent->second.count(row) == 0) broken("a row that differs from the reply's", lastResponse + "\n" + row);
        auto oid = std::make_unique<SnmpOid>(lastResponse.c_str());
        if (previous != nullptr && compareOids(*oid, *previous) <= 0) broken("rows out of order", output);
        previous = std::move(oid);
    }
    const std::string last = all.empty() ? std::string() : all.back();
    switch (end) {
        case WalkEnd::EndOfColumn: {
            if (errors != 0) broken("an ERROR line in a walk that reached the end", output);
            const bool view = output.size() >= 2 && last.empty() && all.size() >= 2 &&
                              all[all.size() - 2] == "No OID follows in the device's view";
            const std::string outsideLine = "\n\nOID is outside list\n\n";
            const bool outside = output.size() >= outsideLine.size() &&
                                 output.compare(output.size() - outsideLine.size(), outsideLine.size(), outsideLine) == 0;
            if (!view && !outside) broken("the end of the column without its line", output);
            if (outside) {
                // The last name must lie outside the column: not its arcs and more.
                if (startsWith(lastResponse, (column.oid + ".").c_str())) broken("the column ended inside it", output);
            }
            break;
        }
        case WalkEnd::NoReply:
            if (errorAt(last) == std::string::npos || last.substr(errorAt(last)) + "\n" != kNoReply || errors != 1)
                broken("no reply without the no-reply line", output);
            break;
        case WalkEnd::Interrupted:
        case WalkEnd::OutputFailed: broken("an end that this run cannot have", output);
        default:
            if (errorAt(last) == std::string::npos || errors != 1)
                broken("an ERROR end whose last line is not the error", output);
            break;
    }
    for (const auto& [oid, count] : responder.asked) {
        if (count > 3) broken("more than three requests for one OID", oid);
    }
    const double bound = static_cast<double>(responder.asked.size()) * 3 * kTimeoutMs / 1000.0 + 2.0;
    if (seconds > bound) broken("the walk took longer than its waits allow", std::to_string(seconds));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Walked column = columnFor((data[0] & 1) != 0);
    std::vector<Step> script;
    for (std::size_t i = 1; i + 1 < size && script.size() < kMaxSteps; i += 2) {
        script.push_back({data[i], data[i + 1]});
    }
    {
        Responder responder(column, script);
        const auto run = walkCaptured(
            settingsFor(responder.port(), {.old = (data[0] & 1) != 0, .debug = true, .timeoutMs = kTimeoutMs}));
        check(run.end, run.output, responder, column, run.seconds);
    }
    return 0;
}
