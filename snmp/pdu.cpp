#include "snmp/pdu.h"

#include <ctime>
#include <string>

namespace {
template <typename T>
std::uint32_t sizeOf(const std::optional<T>& field) {
    return field ? field->encodedSize() : 0;
}

template <typename T>
void encodeField(std::optional<T>& field, std::uint8_t*& cursor) {
    if (field) field->encode(cursor);
}

// One field of a decode: on the expected tag the field is built from the
// reader; on any other tag only the tag is consumed.
template <typename T>
void decodeField(BerReader& reader, std::uint32_t expected, std::optional<T>& field) {
    if (readTag(reader) == expected) field.emplace(reader);
}
}  // namespace

void IntegerField::decodeLong(BerReader& reader) {
    const std::uint32_t n = readLength(reader);
    present_ = true;
    if (n > reader.remaining() || n > limits::kMaxContent) {
        reader.fail();
        length_ = 0;
        value_ = 0;
        return;
    }
    length_ = static_cast<std::uint16_t>(n);
    value_ = readInt32(reader, n);
}

SnmpPdu::SnmpPdu(std::uint8_t type) : type_(type) {
    requestId_.set(static_cast<std::int32_t>(std::time(nullptr)));
    errorStatus_.set(0);
    errorIndex_.set(0);
}

void SnmpPdu::encode(std::uint8_t*& cursor) {
    requestId_.encode(cursor);
    errorStatus_.encode(cursor);
    errorIndex_.encode(cursor);
}

std::uint32_t SnmpPdu::contentLength() {
    return requestId_.encodedSize() + errorStatus_.encodedSize() + errorIndex_.encodedSize();
}

void SnmpPdu::decode(BerReader& reader) {
    // Field by field: a field whose tag does not match keeps what it had, or
    // the constructor's default in a PDU made for decoding.
    if (readTag(reader) == tags::kInteger) {
        requestId_.decode(reader);
    } else if (!requestId_.present()) {
        requestId_.set(static_cast<std::int32_t>(std::time(nullptr)));
    }
    if (readTag(reader) == tags::kInteger) {
        errorStatus_.decode(reader);
    } else if (!errorStatus_.present()) {
        errorStatus_.set(0);
    }
    if (readTag(reader) == tags::kInteger) {
        errorIndex_.decode(reader);
    } else if (!errorIndex_.present()) {
        errorIndex_.set(0);
    }
}

SnmpNotificationPdu::SnmpNotificationPdu(std::uint8_t type) : SnmpPdu(type) { formatAddress(); }

SnmpNotificationPdu::SnmpNotificationPdu(std::uint8_t type, Decoding d) : SnmpPdu(type, d) { formatAddress(); }

void SnmpNotificationPdu::formatAddress() {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (shift != 24) text.push_back('.');
        appendDecimal(text, (agentAddress_ >> shift) & 0xFF);
    }
    text.copy(agentAddressText_, sizeof agentAddressText_ - 1);
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

SnmpPduBase* makePduForDecoding(std::uint8_t type) {
    const Decoding d;
    switch (type) {
        case pdutags::kGetRequest: return new SnmpGetPdu(d);
        case pdutags::kGetNextRequest: return new SnmpGetNextPdu(d);
        case pdutags::kGetResponse: return new SnmpResponsePdu(d);
        case pdutags::kSetRequest: return new SnmpSetPdu(d);
        case pdutags::kTrap: return new SnmpTrapPdu();
        case pdutags::kInformRequest: return new SnmpInformPdu(d);
        case pdutags::kV2Trap: return new SnmpV2TrapPdu(d);
        default: return nullptr;
    }
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
