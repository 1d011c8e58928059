// PDUs: the fixed fields of each SNMP protocol data unit and its tag. The
// message writes a PDU's tag and length and the binding list around the fields
// that the PDU writes itself.
#pragma once

#include <cstdint>
#include <optional>

#include "snmp/values.h"

namespace pdutags {
constexpr std::uint8_t kGetRequest = 0xA0;
constexpr std::uint8_t kGetNextRequest = 0xA1;
constexpr std::uint8_t kGetResponse = 0xA2;
constexpr std::uint8_t kSetRequest = 0xA3;
constexpr std::uint8_t kTrap = 0xA4;
constexpr std::uint8_t kGetBulkRequest = 0xA5;
constexpr std::uint8_t kInformRequest = 0xA6;
constexpr std::uint8_t kV2Trap = 0xA7;
}  // namespace pdutags

// One INTEGER field of a request or response PDU, kept inside the PDU: its
// value and the length of its content as it was set or received, so that a
// decoded field encodes again to the same bytes. A field may be absent.
class IntegerField {
public:
    bool present() const { return present_; }
    std::int32_t value() const { return present_ ? value_ : 0; }
    void set(std::int32_t v) {
        present_ = true;
        value_ = v;
        length_ = static_cast<std::uint16_t>(integerContentLength(v));
    }
    // Takes an INTEGER's value and content length as they are.
    void set(const SnmpInteger& integer) {
        present_ = true;
        value_ = integer.value();
        length_ = integer.contentLength();
    }
    // The tag has been read: reads the length and the content.
    void decode(BerReader& reader) {
        std::uint8_t b = 0;
        if (!reader.takeOneByteContent(b)) {
            decodeLong(reader);
            return;
        }
        present_ = true;
        length_ = 1;
        value_ = static_cast<std::int8_t>(b);
    }
    std::uint32_t encodedSize() const { return present_ ? elementSize(length_) : 0; }
    void encode(std::uint8_t*& cursor) const {
        if (!present_) return;
        // Read before any byte is written, so no write can seem to change them.
        const std::uint16_t length = length_;
        const std::int32_t value = value_;
        writeHeader(cursor, tags::kInteger, length);
        writeIntegerContent(cursor, value, length);
    }

private:
    // Any length other than a short-form 1.
    void decodeLong(BerReader& reader);

    bool present_ = false;
    std::uint16_t length_ = 0;
    std::int32_t value_ = 0;
};

// Marks the constructors of PDUs that decode() fills at once.
struct Decoding {};

// Every PDU kind answers every operation; a kind without a field ignores its
// setter and answers 0 or no text (null) for its getter.
class SnmpPduBase : public BerObject {
public:
    virtual void setRequestId(std::int32_t v) = 0;
    virtual std::int32_t requestId() = 0;
    virtual void setErrorIndex(std::int32_t v) = 0;
    virtual std::int32_t errorIndex() = 0;
    virtual void setErrorStatus(std::int32_t v) = 0;
    virtual std::int32_t errorStatus() = 0;
    virtual void setGenericTrap(std::int32_t v) = 0;
    virtual std::int32_t genericTrap() = 0;
    virtual void setSpecificTrap(std::int32_t v) = 0;
    virtual std::int32_t specificTrap() = 0;
    virtual void setTimeStamp(std::int32_t v) = 0;
    virtual std::int32_t timeStamp() = 0;
    virtual void setAgentAddress(const char* text) = 0;
    virtual const char* agentAddress() = 0;
    virtual void setEnterprise(const char* text) = 0;
    virtual const char* enterprise() = 0;
    // Bytes that encode() writes: the fields present, each as a whole element.
    virtual std::uint32_t contentLength() = 0;
    // Reads the fields tag by tag from a reader standing on the first field. A
    // field whose tag does not match keeps what it had; only its tag is consumed.
    virtual void decode(BerReader& reader) = 0;
    virtual std::uint8_t pduType() = 0;
};

// Request, response and SNMPv2 notification kinds: request-id, error-status, error-index.
class SnmpPdu : public SnmpPduBase {
public:
    void encode(std::uint8_t*& cursor) override;
    void setRequestId(std::int32_t v) override { requestId_.set(v); }
    std::int32_t requestId() override { return requestId_.value(); }
    void setErrorIndex(std::int32_t v) override { errorIndex_.set(v); }
    std::int32_t errorIndex() override { return errorIndex_.value(); }
    void setErrorStatus(std::int32_t v) override { errorStatus_.set(v); }
    std::int32_t errorStatus() override { return errorStatus_.value(); }
    void setGenericTrap(std::int32_t) override {}
    std::int32_t genericTrap() override { return 0; }
    void setSpecificTrap(std::int32_t) override {}
    std::int32_t specificTrap() override { return 0; }
    void setTimeStamp(std::int32_t) override {}
    std::int32_t timeStamp() override { return 0; }
    void setAgentAddress(const char*) override {}
    const char* agentAddress() override { return nullptr; }
    void setEnterprise(const char*) override {}
    const char* enterprise() override { return nullptr; }
    std::uint32_t contentLength() override;
    void decode(BerReader& reader) override;
    std::uint8_t pduType() override { return type_; }

    // Turns the PDU into a GetResponse; its class stays what it was.
    virtual void makeResponse() { type_ = pdutags::kGetResponse; }

protected:
    // Request-id from the calendar time in seconds, error-status and error-index 0.
    explicit SnmpPdu(std::uint8_t type);
    // For decoding: the fields are set by decode(), the defaults above only
    // where the datagram has no field of its own.
    SnmpPdu(std::uint8_t type, Decoding) : type_(type) {}

private:
    IntegerField requestId_;
    IntegerField errorStatus_;
    IntegerField errorIndex_;
    std::uint8_t type_;
};

class SnmpGetPdu final : public SnmpPdu {
public:
    SnmpGetPdu() : SnmpPdu(pdutags::kGetRequest) {}
    explicit SnmpGetPdu(Decoding d) : SnmpPdu(pdutags::kGetRequest, d) {}
};

class SnmpGetNextPdu final : public SnmpPdu {
public:
    SnmpGetNextPdu() : SnmpPdu(pdutags::kGetNextRequest) {}
    explicit SnmpGetNextPdu(Decoding d) : SnmpPdu(pdutags::kGetNextRequest, d) {}
};

class SnmpResponsePdu final : public SnmpPdu {
public:
    SnmpResponsePdu() : SnmpPdu(pdutags::kGetResponse) {}
    explicit SnmpResponsePdu(Decoding d) : SnmpPdu(pdutags::kGetResponse, d) {}
};

class SnmpSetPdu final : public SnmpPdu {
public:
    SnmpSetPdu() : SnmpPdu(pdutags::kSetRequest) {}
    explicit SnmpSetPdu(Decoding d) : SnmpPdu(pdutags::kSetRequest, d) {}
};

// SNMPv2 notifications carry no agent address on the wire; they answer with the
// all-ones address 255.255.255.255, kept as text in the PDU itself.
class SnmpNotificationPdu : public SnmpPdu {
public:
    const char* agentAddress() override { return agentAddressText_; }

protected:
    explicit SnmpNotificationPdu(std::uint8_t type);
    SnmpNotificationPdu(std::uint8_t type, Decoding d);

private:
    void formatAddress();

    std::uint32_t agentAddress_ = 0xFFFFFFFFu;
    char agentAddressText_[16] = {};
};

class SnmpInformPdu final : public SnmpNotificationPdu {
public:
    SnmpInformPdu() : SnmpNotificationPdu(pdutags::kInformRequest) {}
    explicit SnmpInformPdu(Decoding d) : SnmpNotificationPdu(pdutags::kInformRequest, d) {}
};

class SnmpV2TrapPdu final : public SnmpNotificationPdu {
public:
    SnmpV2TrapPdu() : SnmpNotificationPdu(pdutags::kV2Trap) {}
    explicit SnmpV2TrapPdu(Decoding d) : SnmpNotificationPdu(pdutags::kV2Trap, d) {}
};

// The SNMPv1 Trap: enterprise, agent-addr, generic-trap, specific-trap, time-stamp.
class SnmpTrapPdu final : public SnmpPduBase {
public:
    void encode(std::uint8_t*& cursor) override;
    void setRequestId(std::int32_t) override {}
    std::int32_t requestId() override { return 0; }
    void setErrorIndex(std::int32_t) override {}
    std::int32_t errorIndex() override { return 0; }
    void setErrorStatus(std::int32_t) override {}
    std::int32_t errorStatus() override { return 0; }
    void setGenericTrap(std::int32_t v) override { genericTrap_.emplace(v); }
    std::int32_t genericTrap() override { return genericTrap_ ? genericTrap_->value() : 0; }
    void setSpecificTrap(std::int32_t v) override { specificTrap_.emplace(v); }
    std::int32_t specificTrap() override { return specificTrap_ ? specificTrap_->value() : 0; }
    void setTimeStamp(std::int32_t v) override { timeStamp_.emplace(v); }
    std::int32_t timeStamp() override { return timeStamp_ ? timeStamp_->value() : 0; }
    void setAgentAddress(const char* text) override { agentAddress_.emplace(text); }
    const char* agentAddress() override { return agentAddress_ ? agentAddress_->toString() : nullptr; }
    void setEnterprise(const char* text) override { enterprise_.emplace(text); }
    const char* enterprise() override { return enterprise_ ? enterprise_->toString() : nullptr; }
    std::uint32_t contentLength() override;
    void decode(BerReader& reader) override;
    std::uint8_t pduType() override { return pdutags::kTrap; }

private:
    std::optional<SnmpInteger> genericTrap_;
    std::optional<SnmpInteger> specificTrap_;
    std::optional<SnmpTimeTicks> timeStamp_;
    std::optional<SnmpOid> enterprise_;
    std::optional<SnmpIpAddress> agentAddress_;
};

// The PDU object for a tag, or null for a tag without a class (0xA5 among them).
SnmpPduBase* makePdu(std::uint8_t type);
// The same, for a PDU that decode() fills at once.
SnmpPduBase* makePduForDecoding(std::uint8_t type);
