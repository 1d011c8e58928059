// Writes the fuzzer's seed corpus into the folder given: well-formed datagrams
// of every PDU kind, with bindings of every value type.
#include <cstdio>
#include <string>
#include <vector>

#include "snmp/message.h"
#include "tests/hex.h"

namespace {

void write(const std::string& folder, const std::string& name, SnmpMessage& message) {
    const Bytes bytes = encodeExactly(message);
    std::FILE* f = std::fopen((folder + "/" + name).c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

BerReader readerOf(const std::vector<std::uint8_t>& b) { return BerReader(b.data(), b.size()); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 1;
    const std::string folder = argv[1];
    const struct {
        int type;
        const char* name;
    } kinds[] = {{0xA0, "get"}, {0xA1, "getnext"}, {0xA2, "response"}, {0xA3, "set"},
                 {0xA4, "trap"}, {0xA6, "inform"},  {0xA7, "v2trap"}};
    for (const auto& kind : kinds) {
        SnmpMessage message(kind.type, kind.type == 0xA4 ? 0 : 1);
        message.setCommunity("public");
        message.setRequestId(123);
        message.setEnterprise("1.3.6.1.4.1.9");
        message.setAgentAddress("10.0.0.1");
        message.setGenericTrap(6);
        message.setSpecificTrap(17);
        message.setTimeStamp(100);
        message.addNotificationBindings(1234, "1.3.6.1.4.1.9", 2, 0);
        const std::string base = "1.3.6.1.2.1.4.22.1.2.1.10.0.0.";
        auto name = [&](int i) { return new SnmpOid((base + std::to_string(i)).c_str()); };
        std::vector<std::uint8_t> counter = {0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
        std::vector<std::uint8_t> gauge = {0x01, 0x07};
        std::vector<std::uint8_t> counter64 = {0x09, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        std::vector<std::uint8_t> opaque = {0x03, 0x41, 0x00, 0x42};
        BerReader c = readerOf(counter), g = readerOf(gauge), c64 = readerOf(counter64), o = readerOf(opaque);
        const std::uint8_t mac[6] = {0x00, 0x0c, 0x29, 0x3a, 0x4b, 0x5c};
        message.addVarbind(new SnmpVarbind(name(1), new SnmpOctetString(mac, 6)));
        message.addVarbind(new SnmpVarbind(name(2), new SnmpInteger(-129)));
        message.addVarbind(new SnmpVarbind(name(3), new SnmpOid("1.3.6.1.4.1.4294967295")));
        message.addVarbind(new SnmpVarbind(name(4), new SnmpIpAddress("192.168.1.1")));
        message.addVarbind(new SnmpVarbind(name(5), new SnmpCounter(c)));
        message.addVarbind(new SnmpVarbind(name(6), new SnmpGauge(g)));
        message.addVarbind(new SnmpVarbind(name(7), new SnmpTimeTicks(100)));
        message.addVarbind(new SnmpVarbind(name(8), new SnmpOpaque(o)));
        message.addVarbind(new SnmpVarbind(name(9), new SnmpCounter64(c64)));
        message.addVarbind(new SnmpVarbind(name(10), nullptr));
        write(folder, kind.name, message);
    }
    // The walk's own exchange: the request and a one-entry reply.
    SnmpMessage request(0xA1, 0);
    request.setRequestId(123);
    request.addVarbind(new SnmpVarbind(new SnmpOid("1.3.6.1.2.1.4.22.1.2"), nullptr));
    write(folder, "walk-request", request);
    SnmpMessage reply(0xA2, 0);
    reply.setCommunity("public");
    reply.setRequestId(123);
    const std::uint8_t mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    reply.addVarbind(new SnmpVarbind(new SnmpOid("1.3.6.1.2.1.4.22.1.2.1.10.0.0.1"), new SnmpOctetString(mac, 6)));
    write(folder, "walk-reply", reply);
    return 0;
}
