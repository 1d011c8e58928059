#include "snmp/message.h"

#include <cstring>
#include <string>

namespace {
const char kNullText[] = "NULL";
const char kSysUpTime[] = "1.3.6.1.2.1.1.3.0";
const char kSnmpTrapOid[] = "1.3.6.1.6.3.1.1.4.1.0";
const char kStandardTraps[] = "1.3.6.1.6.3.1.1.5.";
}  // namespace

SnmpMessage::SnmpMessage() { community_.make(kDefaultCommunity); }

SnmpMessage::SnmpMessage(std::int32_t pduType, std::int32_t version) : SnmpMessage() {
    version_.set(version);
    pduType_ = pduType;
    pdu_ = makePdu(static_cast<std::uint8_t>(pduType));
    // Only the eight PDU tags have classes; the byte of another number must not alias one.
    if ((pduType & ~0xFF) != 0) {
        delete pdu_;
        pdu_ = nullptr;
    }
}

SnmpMessage::~SnmpMessage() {
    delete pdu_;
}

SnmpOctetString* SnmpMessage::setCommunity(const char* text) { return community_.make(text); }

void SnmpMessage::setCommunity(SnmpOctetString* community) { community_.adopt(community); }

void SnmpMessage::setVersion(SnmpInteger* version) { version_.adopt(version); }

void SnmpMessage::setPdu(SnmpPduBase* pdu) {
    delete pdu_;
    pdu_ = pdu;
}

void SnmpMessage::addVarbind(SnmpVarbind* binding) { list_.append(binding); }

// Without a PDU the message ends after the community: there is no tag to write,
// and the size counts exactly that, so a buffer sized from encodedLength() is
// always what encode() fills.
std::uint32_t SnmpMessage::pduContentSize(SnmpPduBase& pdu, std::uint32_t listContent) {
    return pdu.contentLength() + elementSize(listContent);
}

inline std::uint32_t SnmpMessage::headerSize() {
    return version_.encodedSize() + (community_ ? community_->encodedSize() : 0);
}

std::int32_t SnmpMessage::encodedLength() {
    std::uint32_t content = headerSize();
    if (SnmpPduBase* pdu = pdu_) [[likely]]
        content += elementSize(pduContentSize(*pdu, list_.contentSize()));
    return static_cast<std::int32_t>(elementSize(content));
}

void SnmpMessage::encode(std::uint8_t*& cursor) {
    std::uint8_t* out = cursor;
    SnmpPduBase* pdu = pdu_;
    if (pdu == nullptr) [[unlikely]] {
        writeHeader(out, tags::kSequence, headerSize());
        version_.encode(out);
        if (community_) community_->encode(out);
        return;
    }
    // Each size is worked out once and used for every length field it feeds.
    const std::uint32_t listContent = list_.contentSize();
    const std::uint32_t pduContent = pduContentSize(*pdu, listContent);
    writeHeader(out, tags::kSequence, headerSize() + elementSize(pduContent));
    version_.encode(out);
    if (community_) community_->encode(out);
    writeHeader(out, pdu->pduType(), pduContent);
    pdu->encode(out);
    list_.encode(out, listContent);
}

std::int32_t SnmpMessage::version() {
    if (!version_.present()) throw 0;
    return version_.value();
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
        trapOid = enterprise;
        trapOid += ".0.";
        if (specificTrap < 0) {
            trapOid.push_back('-');
            appendDecimal(trapOid, 0u - static_cast<std::uint32_t>(specificTrap));
        } else {
            appendDecimal(trapOid, static_cast<std::uint32_t>(specificTrap));
        }
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
