// PDUs: the fixed fields of each SNMP protocol data unit and its tag. The
// message writes a PDU's tag and length and the binding list around the fields
// that the PDU writes itself.
#pragma once

#include <cstdint>
#include <memory>

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
    void setRequestId(std::int32_t v) override { requestId_->setValue(v); }
    std::int32_t requestId() override { return requestId_->value(); }
    void setErrorIndex(std::int32_t v) override { errorIndex_->setValue(v); }
    std::int32_t errorIndex() override { return errorIndex_->value(); }
    void setErrorStatus(std::int32_t v) override { errorStatus_->setValue(v); }
    std::int32_t errorStatus() override { return errorStatus_->value(); }
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

private:
    // Always present: decode() replaces a field only with one it has read.
    std::unique_ptr<SnmpInteger> requestId_;
    std::unique_ptr<SnmpInteger> errorStatus_;
    std::unique_ptr<SnmpInteger> errorIndex_;
    std::uint8_t type_;
};

class SnmpGetPdu final : public SnmpPdu {
public:
    SnmpGetPdu() : SnmpPdu(pdutags::kGetRequest) {}
};

class SnmpGetNextPdu final : public SnmpPdu {
public:
    SnmpGetNextPdu() : SnmpPdu(pdutags::kGetNextRequest) {}
};

class SnmpResponsePdu final : public SnmpPdu {
public:
    SnmpResponsePdu() : SnmpPdu(pdutags::kGetResponse) {}
};

class SnmpSetPdu final : public SnmpPdu {
public:
    SnmpSetPdu() : SnmpPdu(pdutags::kSetRequest) {}
};

// SNMPv2 notifications carry no agent address on the wire; they answer with the
// all-ones address 255.255.255.255, kept as text in the PDU itself.
class SnmpNotificationPdu : public SnmpPdu {
public:
    const char* agentAddress() override { return "255.255.255.255"; }

protected:
    explicit SnmpNotificationPdu(std::uint8_t type) : SnmpPdu(type) {}
};

class SnmpInformPdu final : public SnmpNotificationPdu {
public:
    SnmpInformPdu() : SnmpNotificationPdu(pdutags::kInformRequest) {}
};

class SnmpV2TrapPdu final : public SnmpNotificationPdu {
public:
    SnmpV2TrapPdu() : SnmpNotificationPdu(pdutags::kV2Trap) {}
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
    void setGenericTrap(std::int32_t v) override { genericTrap_ = std::make_unique<SnmpInteger>(v); }
    std::int32_t genericTrap() override { return genericTrap_ ? genericTrap_->value() : 0; }
    void setSpecificTrap(std::int32_t v) override { specificTrap_ = std::make_unique<SnmpInteger>(v); }
    std::int32_t specificTrap() override { return specificTrap_ ? specificTrap_->value() : 0; }
    void setTimeStamp(std::int32_t v) override { timeStamp_ = std::make_unique<SnmpTimeTicks>(v); }
    std::int32_t timeStamp() override { return timeStamp_ ? timeStamp_->value() : 0; }
    // The new value is made before the old one goes, so the text may be the
    // field's own (agentAddress(), enterprise()).
    void setAgentAddress(const char* text) override { agentAddress_ = std::make_unique<SnmpIpAddress>(text); }
    const char* agentAddress() override { return agentAddress_ ? agentAddress_->toString() : nullptr; }
    void setEnterprise(const char* text) override { enterprise_ = std::make_unique<SnmpOid>(text); }
    const char* enterprise() override { return enterprise_ ? enterprise_->toString() : nullptr; }
    std::uint32_t contentLength() override;
    void decode(BerReader& reader) override;
    std::uint8_t pduType() override { return pdutags::kTrap; }

private:
    std::unique_ptr<SnmpInteger> genericTrap_;
    std::unique_ptr<SnmpInteger> specificTrap_;
    std::unique_ptr<SnmpTimeTicks> timeStamp_;
    std::unique_ptr<SnmpOid> enterprise_;
    std::unique_ptr<SnmpIpAddress> agentAddress_;
};

// The PDU object for a tag, or null for a tag without a class (0xA5 among them).
SnmpPduBase* makePdu(std::uint8_t type);
