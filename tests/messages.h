// The messages that tests send and expect: the walk's request, replies, traps.
#pragma once

#include <cstdint>
#include <memory>

#include "snmp/decoder.h"
#include "snmp/message.h"
#include "tests/hex.h"

// The walk's first request: a GetNextRequest for the default column,
// request-id 123, the default community.
inline std::unique_ptr<SnmpMessage> walkRequest() {
    auto request = std::make_unique<SnmpMessage>(pdutags::kGetNextRequest, 0);
    request->setRequestId(123);
    request->addVarbind(new SnmpVarbind(new SnmpOid("1.3.6.1.2.1.4.22.1.2"), nullptr));
    return request;
}

// A GetResponse with one binding (or none when name is null).
inline Bytes responseNamed(SnmpOid* name, SnmpValue* value, std::int32_t requestId = 123, std::int32_t errorStatus = 0,
                           std::int32_t errorIndex = 0) {
    SnmpMessage message(pdutags::kGetResponse, 0);
    message.setCommunity("public");
    message.setRequestId(requestId);
    message.setErrorStatus(errorStatus);
    message.setErrorIndex(errorIndex);
    if (name != nullptr) message.addVarbind(new SnmpVarbind(name, value));
    else delete value;
    return encodeExactly(message);
}

inline Bytes makeResponse(const char* name, SnmpValue* value, std::int32_t requestId = 123,
                          std::int32_t errorStatus = 0, std::int32_t errorIndex = 0) {
    return responseNamed(name != nullptr ? new SnmpOid(name) : nullptr, value, requestId, errorStatus, errorIndex);
}

// An SNMPv1 Trap, such as a device sends from its own address unasked.
inline Bytes makeTrap() {
    SnmpMessage message(pdutags::kTrap, 0);
    message.setEnterprise("1.3.6.1.4.1.8072");
    message.setAgentAddress("127.0.0.1");
    message.setGenericTrap(0);
    message.setSpecificTrap(0);
    message.setTimeStamp(0);
    return encodeExactly(message);
}

// The message that bytes decode to, or null.
inline std::unique_ptr<SnmpMessage> decoded(const std::uint8_t* bytes, std::size_t n) {
    SnmpMessageDecoder decoder(bytes, static_cast<std::int32_t>(n));
    return std::unique_ptr<SnmpMessage>(decoder.release());
}
inline std::unique_ptr<SnmpMessage> decoded(const Bytes& bytes) { return decoded(bytes.data(), bytes.size()); }

// An element: the tag, the length field for content, then content.
inline Bytes element(std::uint8_t tag, const Bytes& content) {
    Bytes out(6);
    std::uint8_t* cursor = out.data();
    writeHeader(cursor, tag, static_cast<std::uint32_t>(content.size()));
    out.resize(static_cast<std::size_t>(cursor - out.data()));
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Wraps bindings' bytes into a GetResponse with request-id 123.
inline Bytes response(const Bytes& bindings) {
    return element(0x30, hexBytes("02 01 00 04 06 70 75 62 6C 69 63") +
                             element(0xA2, hexBytes("02 01 7B 02 01 00 02 01 00") + element(0x30, bindings)));
}

// A GetResponse whose one binding has the name of OID content name, which can
// hold what no SnmpOid does, and the encoded value.
inline Bytes makeResponse(const Bytes& name, const Bytes& value) {
    return response(element(tags::kSequence, element(tags::kOid, name) + value));
}

inline SnmpValue* macValue(const char* hex) {
    const Bytes b = hexBytes(hex);
    return new SnmpOctetString(b.data(), b.size());
}
