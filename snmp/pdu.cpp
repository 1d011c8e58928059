#include "snmp/pdu.h"

#include <ctime>

namespace {
template <typename T>
std::uint32_t sizeOf(const std::unique_ptr<T>& field) {
    return field ? field->encodedSize() : 0;
}

template <typename T>
void encodeField(const std::unique_ptr<T>& field, std::uint8_t*& cursor) {
    if (field) field->encode(cursor);
}

// One field of a decode: on the expected tag the field is built from the
// reader, and true; on any other tag only the tag is consumed and the field
// keeps what it had.
template <typename T>
bool decodeField(BerReader& reader, std::uint32_t expected, std::unique_ptr<T>& field) {
    if (readTag(reader) != expected) return false;
    field = std::make_unique<T>(reader);
    return true;
}

// A request-id, error-status or error-index is a signed 32-bit INTEGER (RFC
// 1157, 4.1; RFC 3416, 3). A value outside that range, in however many bytes,
// makes the PDU unreadable: read modulo 2^32 it could pass for another, such
// as the request's own id.
void decodeInt32Field(BerReader& reader, std::unique_ptr<SnmpInteger>& field) {
    if (!decodeField(reader, tags::kInteger, field) || reader.failed()) return;
    const std::uint16_t n = field->contentLength();
    if (!int32Fits(reader.position() - n, n)) reader.fail();
}
}  // namespace

SnmpPdu::SnmpPdu(std::uint8_t type)
    : requestId_(std::make_unique<SnmpInteger>(static_cast<std::int32_t>(std::time(nullptr)))),
      errorStatus_(std::make_unique<SnmpInteger>(0)),
      errorIndex_(std::make_unique<SnmpInteger>(0)),
      type_(type) {}

void SnmpPdu::encode(std::uint8_t*& cursor) {
    encodeField(requestId_, cursor);
    encodeField(errorStatus_, cursor);
    encodeField(errorIndex_, cursor);
}

std::uint32_t SnmpPdu::contentLength() {
    return sizeOf(requestId_) + sizeOf(errorStatus_) + sizeOf(errorIndex_);
}

void SnmpPdu::decode(BerReader& reader) {
    decodeInt32Field(reader, requestId_);
    decodeInt32Field(reader, errorStatus_);
    decodeInt32Field(reader, errorIndex_);
}

void SnmpTrapPdu::encode(std::uint8_t*& cursor) {
    encodeField(enterprise_, cursor);
    encodeField(agentAddress_, cursor);
    encodeField(genericTrap_, cursor);
    encodeField(specificTrap_, cursor);
    encodeField(timeStamp_, cursor);
}

std::uint32_t SnmpTrapPdu::contentLength() {
    return sizeOf(enterprise_) + sizeOf(agentAddress_) + sizeOf(genericTrap_) + sizeOf(specificTrap_) +
           sizeOf(timeStamp_);
}

void SnmpTrapPdu::decode(BerReader& reader) {
    decodeField(reader, tags::kOid, enterprise_);
    decodeField(reader, tags::kIpAddress, agentAddress_);
    decodeField(reader, tags::kInteger, genericTrap_);
    decodeField(reader, tags::kInteger, specificTrap_);
    decodeField(reader, tags::kTimeTicks, timeStamp_);
}

SnmpPduBase* makePdu(std::uint8_t type) {
    switch (type) {
        case pdutags::kGetRequest: return new SnmpGetPdu();
        case pdutags::kGetNextRequest: return new SnmpGetNextPdu();
        case pdutags::kGetResponse: return new SnmpResponsePdu();
        case pdutags::kSetRequest: return new SnmpSetPdu();
        case pdutags::kTrap: return new SnmpTrapPdu();
        case pdutags::kInformRequest: return new SnmpInformPdu();
        case pdutags::kV2Trap: return new SnmpV2TrapPdu();
        default: return nullptr;
    }
}
