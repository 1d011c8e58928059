// The SNMP message: version, community and one PDU with its binding list, the
// unit that travels in one UDP datagram. It sizes and encodes itself and gives
// a reader everything in it as numbers and texts.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>

#include "snmp/pdu.h"
#include "snmp/varbind.h"

// The community of a message that names none.
constexpr char kDefaultCommunity[] = "vantry";

// The read interface of a message.
class SnmpMessageBase : public BerObject {
public:
    // Writes the whole message from the cursor on; the cursor itself is left
    // where it was, on the message's first byte.
    void encode(std::uint8_t*& cursor) override = 0;
    virtual std::int32_t encodedLength() = 0;
    virtual std::int32_t version() = 0;
    virtual const char* community() = 0;
    virtual std::int32_t varbindCount() = 0;
    virtual const char* varbindName(std::int32_t n) = 0;
    virtual const char* varbindTypeName(std::int32_t n) = 0;
    virtual const char* varbindValue(std::int32_t n) = 0;
    virtual std::int32_t requestId() = 0;
    virtual std::int32_t errorIndex() = 0;
    virtual std::int32_t errorStatus() = 0;
    virtual std::int32_t genericTrap() = 0;
    virtual std::int32_t specificTrap() = 0;
    virtual std::int32_t timeStamp() = 0;
    virtual const char* agentAddress() = 0;
    virtual const char* enterprise() = 0;
    virtual std::uint8_t pduType() = 0;
    virtual void addNotificationBindings(std::int32_t, const char*, std::int32_t, std::int32_t) {}

protected:
    SnmpMessageBase() : creationTime_(static_cast<std::int32_t>(std::time(nullptr))) {}

private:
    std::int32_t creationTime_;
};

class SnmpMessage final : public SnmpMessageBase {
public:
    // Community "vantry", no version, no PDU, an empty binding list.
    SnmpMessage();
    // As above, then the version and the PDU made for the type (none for a type
    // without a PDU class, such as 0xA5).
    SnmpMessage(std::int32_t pduType, std::int32_t version);
    ~SnmpMessage() override;
    SnmpMessage(const SnmpMessage&) = delete;
    SnmpMessage& operator=(const SnmpMessage&) = delete;

    // The setters delete the part they replace. The objects handed to them
    // belong to the message from then on and stay as they are, so a caller may
    // go on reading them while the message keeps them.
    // Returns the new community, which the message owns.
    SnmpOctetString* setCommunity(const char* text);
    void setCommunity(SnmpOctetString* community);
    // Null: the message has no version.
    void setVersion(SnmpInteger* version);
    void setPdu(SnmpPduBase* pdu);
    // The binding (and any chain behind it) joins the list at its tail; one
    // the list already holds is refused (SnmpVarbindList::append).
    void addVarbind(SnmpVarbind* binding);
    SnmpVarbindList* varbindList() { return &list_; }
    SnmpPduBase* pdu() { return pdu_.get(); }

    void encode(std::uint8_t*& cursor) override;
    std::int32_t encodedLength() override;
    // Throws the integer 0 when the message has no version.
    std::int32_t version() override;
    const char* community() override;
    std::int32_t varbindCount() override;
    // Binding n, counted from 1; "NULL" when there is no binding n, or when it
    // has no name (varbindName) or no value (varbindTypeName, varbindValue).
    const char* varbindName(std::int32_t n) override;
    const char* varbindTypeName(std::int32_t n) override;
    const char* varbindValue(std::int32_t n) override;
    std::int32_t requestId() override;
    std::int32_t errorIndex() override;
    std::int32_t errorStatus() override;
    std::int32_t genericTrap() override;
    std::int32_t specificTrap() override;
    std::int32_t timeStamp() override;
    const char* agentAddress() override;
    const char* enterprise() override;
    std::uint8_t pduType() override;
    // Puts sysUpTime.0 and snmpTrapOID.0 in front of the bindings of an SNMPv2
    // notification made for type 0xA6 or 0xA7. For generic-trap outside 0..5 the
    // trap OID is made from the enterprise text; without one nothing changes.
    void addNotificationBindings(std::int32_t timeStamp, const char* enterprise, std::int32_t genericTrap,
                                 std::int32_t specificTrap) override;

    virtual void setRequestId(std::int32_t v);
    virtual void setErrorIndex(std::int32_t v);
    virtual void setErrorStatus(std::int32_t v);
    virtual void setGenericTrap(std::int32_t v);
    virtual void setSpecificTrap(std::int32_t v);
    virtual void setTimeStamp(std::int32_t v);
    virtual void setAgentAddress(const char* text);
    virtual void setEnterprise(const char* text);

private:
    SnmpVarbind* varbindAt(std::int32_t n);
    bool isNotification();
    // The version and the community.
    std::uint32_t headerSize();
    // The PDU's fields and the binding list; the message must have a PDU.
    std::uint32_t pduContentSize();

    std::unique_ptr<SnmpOctetString> community_;
    std::unique_ptr<SnmpInteger> version_;
    std::int32_t pduType_ = 0;
    std::unique_ptr<SnmpPduBase> pdu_;
    SnmpVarbindList list_;
};
