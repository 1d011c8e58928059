#include "snmp/message.h"

#include <cstring>
#include <string>

namespace {
const char kNullText[] = "NULL";
const char kSysUpTime[] = "1.3.6.1.2.1.1.3.0";
const char kSnmpTrapOid[] = "1.3.6.1.6.3.1.1.4.1.0";
const char kStandardTraps[] = "1.3.6.1.6.3.1.1.5.";
}  // namespace

SnmpMessage::SnmpMessage() : community_(std::make_unique<SnmpOctetString>(kDefaultCommunity)) {}

SnmpMessage::SnmpMessage(std::int32_t pduType, std::int32_t version) : SnmpMessage() {
    version_ = std::make_unique<SnmpInteger>(version);
    pduType_ = pduType;
    // Only the eight PDU tags have classes; the byte of another number must not alias one.
    if ((pduType & ~0xFF) == 0) pdu_.reset(makePdu(static_cast<std::uint8_t>(pduType)));
}

SnmpMessage::~SnmpMessage() = default;

// Each setter makes or takes the new part before the old one goes: the text or
// the object handed in may be the message's own.
SnmpOctetString* SnmpMessage::setCommunity(const char* text) {
    community_ = std::make_unique<SnmpOctetString>(text);
    return community_.get();
}

void SnmpMessage::setCommunity(SnmpOctetString* community) {
    if (community != community_.get()) community_.reset(community);
}

void SnmpMessage::setVersion(SnmpInteger* version) {
    if (version != version_.get()) version_.reset(version);
}

void SnmpMessage::setPdu(SnmpPduBase* pdu) {
    if (pdu != pdu_.get()) pdu_.reset(pdu);
}

void SnmpMessage::addVarbind(SnmpVarbind* binding) { list_.append(binding); }

std::uint32_t SnmpMessage::headerSize() {
    return (version_ ? version_->encodedSize() : 0) + (community_ ? community_->encodedSize() : 0);
}

std::uint32_t SnmpMessage::pduContentSize() {
    return pdu_->contentLength() + static_cast<std::uint32_t>(list_.encodedLength());
}

// Without a PDU the message ends after the community: there is no tag to write,
// and the size counts exactly that, so a buffer sized from encodedLength() is
// always what encode() fills.
std::int32_t SnmpMessage::encodedLength() {
    std::uint32_t content = headerSize();
    if (pdu_) content += elementSize(pduContentSize());
    return static_cast<std::int32_t>(elementSize(content));
}

void SnmpMessage::encode(std::uint8_t*& cursor) {
    std::uint8_t* out = cursor;
    const std::uint32_t pduContent = pdu_ ? pduContentSize() : 0;
    writeHeader(out, tags::kSequence, headerSize() + (pdu_ ? elementSize(pduContent) : 0));
    if (version_) version_->encode(out);
    if (community_) community_->encode(out);
    if (!pdu_) return;
    writeHeader(out, pdu_->pduType(), pduContent);
    pdu_->encode(out);
    list_.encode(out);
}

std::int32_t SnmpMessage::version() {
    if (!version_) throw 0;
    return version_->value();
}

const char* SnmpMessage::community() { return community_ ? community_->toString() : nullptr; }

std::int32_t SnmpMessage::varbindCount() {
    std::int32_t count = 0;
    for (const SnmpVarbind* b = list_.head(); b != nullptr; b = b->next) ++count;
    return count;
}

SnmpVarbind* SnmpMessage::varbindAt(std::int32_t n) {
    if (n <= 0) return nullptr;
    SnmpVarbind* b = list_.head();
    for (std::int32_t i = 1; i < n && b != nullptr; ++i) b = b->next;
    return b;
}

const char* SnmpMessage::varbindName(std::int32_t n) {
    SnmpVarbind* b = varbindAt(n);
    return b != nullptr && b->name() != nullptr ? b->name()->toString() : kNullText;
}

const char* SnmpMessage::varbindTypeName(std::int32_t n) {
    SnmpVarbind* b = varbindAt(n);
    return b != nullptr && b->value() != nullptr ? b->value()->typeName() : kNullText;
}

const char* SnmpMessage::varbindValue(std::int32_t n) {
    SnmpVarbind* b = varbindAt(n);
    return b != nullptr && b->value() != nullptr ? b->value()->toString() : kNullText;
}

std::int32_t SnmpMessage::requestId() { return pdu_ != nullptr ? pdu_->requestId() : 0; }
std::int32_t SnmpMessage::errorIndex() { return pdu_ != nullptr ? pdu_->errorIndex() : 0; }
std::int32_t SnmpMessage::errorStatus() { return pdu_ != nullptr ? pdu_->errorStatus() : 0; }
std::int32_t SnmpMessage::timeStamp() { return pdu_ != nullptr ? pdu_->timeStamp() : 0; }
const char* SnmpMessage::agentAddress() { return pdu_ != nullptr ? pdu_->agentAddress() : nullptr; }
std::uint8_t SnmpMessage::pduType() { return pdu_ != nullptr ? pdu_->pduType() : 0xFF; }

bool SnmpMessage::isNotification() {
    const std::uint8_t type = pduType();
    return type == pdutags::kInformRequest || type == pdutags::kV2Trap;
}

// SNMPv2 notifications carry the trap fields in their bindings: generic-trap is
// always enterpriseSpecific (6), and snmpTrapOID.0 (binding 2) holds the rest.
std::int32_t SnmpMessage::genericTrap() {
    if (pdu_ == nullptr) return 0;
    return isNotification() ? 6 : pdu_->genericTrap();
}

std::int32_t SnmpMessage::specificTrap() {
    if (pdu_ == nullptr) return 0;
    if (!isNotification()) return pdu_->specificTrap();
    const char* text = varbindValue(2);
    const char* dot = std::strrchr(text, '.');
    return dot != nullptr ? static_cast<std::int32_t>(parseDecimal(dot + 1)) : 0;
}

const char* SnmpMessage::enterprise() {
    if (pdu_ == nullptr) return nullptr;
    if (!isNotification()) return pdu_->enterprise();
    if (varbindCount() < 2) return nullptr;
    return std::strcmp(varbindTypeName(2), "OID") == 0 ? varbindValue(2) : nullptr;
}

void SnmpMessage::addNotificationBindings(std::int32_t timeStamp, const char* enterprise, std::int32_t genericTrap,
                                          std::int32_t specificTrap) {
    if (pduType_ != pdutags::kV2Trap && pduType_ != pdutags::kInformRequest) return;
    std::string trapOid;
    if (genericTrap >= 0 && genericTrap <= 5) {
        trapOid = kStandardTraps;
        appendDecimal(trapOid, static_cast<std::uint32_t>(genericTrap + 1));
    } else {
        // An enterprise-specific trap is named under its enterprise; without one
        // there is no trap OID to give, and the list stays as it was.
        if (enterprise == nullptr) return;
        // An arc is unsigned: a negative specific-trap is taken modulo 2^32.
        trapOid = enterprise;
        trapOid += ".0.";
        appendDecimal(trapOid, static_cast<std::uint32_t>(specificTrap));
    }
    auto* upTime = new SnmpVarbind(new SnmpOid(kSysUpTime), new SnmpTimeTicks(timeStamp));
    auto* trap = new SnmpVarbind(new SnmpOid(kSnmpTrapOid), new SnmpOid(trapOid.c_str()));
    SnmpVarbind* former = list_.replaceHead(upTime);
    list_.append(trap);
    list_.append(former);
}

void SnmpMessage::setRequestId(std::int32_t v) { if (pdu_ != nullptr) pdu_->setRequestId(v); }
void SnmpMessage::setErrorIndex(std::int32_t v) { if (pdu_ != nullptr) pdu_->setErrorIndex(v); }
void SnmpMessage::setErrorStatus(std::int32_t v) { if (pdu_ != nullptr) pdu_->setErrorStatus(v); }
void SnmpMessage::setGenericTrap(std::int32_t v) { if (pdu_ != nullptr) pdu_->setGenericTrap(v); }
void SnmpMessage::setSpecificTrap(std::int32_t v) { if (pdu_ != nullptr) pdu_->setSpecificTrap(v); }
void SnmpMessage::setTimeStamp(std::int32_t v) { if (pdu_ != nullptr) pdu_->setTimeStamp(v); }
void SnmpMessage::setAgentAddress(const char* text) { if (pdu_ != nullptr) pdu_->setAgentAddress(text); }
void SnmpMessage::setEnterprise(const char* text) { if (pdu_ != nullptr) pdu_->setEnterprise(text); }
