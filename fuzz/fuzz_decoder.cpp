// libFuzzer target: any bytes at all through the decoder and every accessor of
// the message it gives. A message that encodes again must decode again to the
// same texts, so the fuzzer finds wrong results as well as crashes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "snmp/decoder.h"
#include "tests/hex.h"

namespace {

std::string text(const char* s) { return s != nullptr ? std::string(s) : std::string("<none>"); }

struct Texts {
    std::string version, community, agentAddress, enterprise;
    std::int32_t requestId, errorStatus, errorIndex, genericTrap, specificTrap, timeStamp, count;
    std::uint8_t pduType;
    std::vector<std::string> bindings;
};

Texts readAll(SnmpMessage& m) {
    Texts t;
    try {
        t.version = std::to_string(m.version());
    } catch (int payload) {
        if (payload != 0) std::abort();
        t.version = "<none>";
    }
    t.community = text(m.community());
    t.requestId = m.requestId();
    t.errorStatus = m.errorStatus();
    t.errorIndex = m.errorIndex();
    t.genericTrap = m.genericTrap();
    t.specificTrap = m.specificTrap();
    t.timeStamp = m.timeStamp();
    t.agentAddress = text(m.agentAddress());
    t.enterprise = text(m.enterprise());
    t.pduType = m.pduType();
    t.count = m.varbindCount();
    for (std::int32_t i = -1; i <= t.count + 1; ++i) {
        t.bindings.push_back(text(m.varbindName(i)) + "|" + text(m.varbindTypeName(i)) + "|" +
                             text(m.varbindValue(i)));
    }
    return t;
}

bool same(const Texts& a, const Texts& b) {
    return a.version == b.version && a.community == b.community && a.requestId == b.requestId &&
           a.errorStatus == b.errorStatus && a.errorIndex == b.errorIndex && a.pduType == b.pduType &&
           a.count == b.count && a.bindings == b.bindings && a.enterprise == b.enterprise &&
           a.specificTrap == b.specificTrap;
}

// Request, response and SNMPv2 notification PDUs always hold their three
// fields, so their encoding is complete; a trap may lack some of its five.
bool reencodable(SnmpMessage& m, const Texts& t) {
    if (t.version == "<none>" || m.pdu() == nullptr) return false;
    return dynamic_cast<SnmpPdu*>(m.pdu()) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 65536) return 0;
    // A copy of exactly size bytes, so any read past the end is caught.
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[size == 0 ? 1 : size]);
    if (size != 0) std::memcpy(exact.get(), data, size);
    SnmpMessageDecoder decoder(exact.get(), static_cast<std::int32_t>(size));
    std::unique_ptr<SnmpMessage> message(decoder.release());
    if (!message) return 0;
    const Texts first = readAll(*message);

    // Exactly the computed length is written, and the cursor stays put.
    const Bytes bytes = encodeExactly(*message);
    if (bytes.size() != static_cast<std::size_t>(message->encodedLength())) std::abort();
    if (!reencodable(*message, first)) return 0;

    SnmpMessageDecoder again(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    std::unique_ptr<SnmpMessage> second(again.release());
    if (!second || !same(first, readAll(*second))) std::abort();
    return 0;
}
