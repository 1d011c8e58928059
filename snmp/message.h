// The SNMP message: version, community and one PDU with its binding list, the
// unit that travels in one UDP datagram. It sizes and encodes itself and gives
// a reader everything in it as numbers and texts.
#pragma once

#include <cstdint>
#include <ctime>
#include <new>
#include <utility>

#include "snmp/pdu.h"
#include "snmp/varbind.h"

// The community of a message that names none.
constexpr char kDefaultCommunity[] = "vantry";

// A part that its owner holds: either made inside the owner (as the decoder
// and the text setter make them, without an allocation of its own) or an
// object handed over by a caller, which the owner keeps as it is and deletes
// when the part is replaced or the owner goes.
template <class T>
class OwnedPart {
public:
    OwnedPart() = default;
    ~OwnedPart() { destroy(); }
    OwnedPart(const OwnedPart&) = delete;
    OwnedPart& operator=(const OwnedPart&) = delete;

    T* get() const { return part_; }
    T* operator->() const { return part_; }
    explicit operator bool() const { return part_ != nullptr; }

    template <class... Args>
    T* make(Args&&... args) {
        if (part_ != nullptr) clear();
        part_ = ::new (static_cast<void*>(room_)) T(std::forward<Args>(args)...);
        return part_;
    }
    // Takes the object over (null allowed); the owner's own part is kept as it is.
    void adopt(T* given) {
        if (given == part_) return;
        clear();
        part_ = given;
    }
    void clear() {
        destroy();
        part_ = nullptr;
    }

private:
    bool inside() const { return static_cast<const void*>(part_) == static_cast<const void*>(room_); }
    void destroy() {
        if (inside()) {
            part_->~T();
        } else {
            delete part_;
        }
    }

    T* part_ = nullptr;
    alignas(T) unsigned char room_[sizeof(T)];
};

// The message's version: a number kept inside the message (decoded, or given
// to the typed constructor), or an SnmpInteger handed to setVersion, which the
// message keeps as it is and deletes when it is replaced or the message goes.
class VersionPart {
public:
    VersionPart() = default;
    ~VersionPart() { delete given_; }
    VersionPart(const VersionPart&) = delete;
    VersionPart& operator=(const VersionPart&) = delete;

    bool present() const { return given_ != nullptr || inside_.present(); }
    std::int32_t value() const { return given_ != nullptr ? given_->value() : inside_.value(); }
    std::uint32_t encodedSize() const {
        if (given_ != nullptr) [[unlikely]] return given_->encodedSize();
        return inside_.encodedSize();
    }
    void encode(std::uint8_t*& cursor) const {
        if (given_ != nullptr) [[unlikely]] {
            given_->encode(cursor);
            return;
        }
        inside_.encode(cursor);
    }
    void set(std::int32_t v) {
        adopt(nullptr);
        inside_.set(v);
    }
    // The tag has been read.
    void decode(BerReader& reader) { inside_.decode(reader); }
    // Takes the object over (null: no version).
    void adopt(SnmpInteger* given) {
        if (given == given_) return;
        delete given_;
        given_ = given;
        inside_ = IntegerField();
    }

private:
    IntegerField inside_;
    SnmpInteger* given_ = nullptr;
};

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
    SnmpOctetString* setCommunity(const char* text);
    void setCommunity(SnmpOctetString* community);
    void setVersion(SnmpInteger* version);
    void setPdu(SnmpPduBase* pdu);
    // The binding (and any chain behind it) joins the list at its tail.
    void addVarbind(SnmpVarbind* binding);
    SnmpVarbindList* varbindList() { return &list_; }
    SnmpPduBase* pdu() { return pdu_; }

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
    friend class SnmpMessageDecoder;
    // For the decoder: no community until the datagram names one.
    struct Empty {};
    explicit SnmpMessage(Empty) {}

    SnmpVarbind* varbindAt(std::int32_t n);
    bool isNotification();
    // The PDU's fields and the binding list.
    static std::uint32_t pduContentSize(SnmpPduBase& pdu, std::uint32_t listContent);
    // The version and the community.
    std::uint32_t headerSize();

    OwnedPart<SnmpOctetString> community_;
    VersionPart version_;
    std::int32_t pduType_ = 0;
    SnmpPduBase* pdu_ = nullptr;
    SnmpVarbindList list_;
};
