#include "snmp/decoder.h"

namespace {

// The value class for a tag byte; any tag without a class of its own (NULL, the
// SNMPv2 exceptions noSuchObject, noSuchInstance and endOfMibView, Opaque)
// becomes an Opaque that keeps the content as received.
SnmpValue* decodeValue(std::uint8_t tag, BerReader& reader) {
    switch (tag) {
        case tags::kInteger: return new SnmpInteger(reader);
        case tags::kOctetString: return new SnmpOctetString(reader);
        case tags::kOid: return new SnmpOid(reader);
        case tags::kIpAddress: return new SnmpIpAddress(reader);
        case tags::kCounter: return new SnmpCounter(reader);
        case tags::kGauge: return new SnmpGauge(reader);
        case tags::kTimeTicks: return new SnmpTimeTicks(reader);
        case tags::kCounter64: return new SnmpCounter64(reader);
        default: return new SnmpOpaque(reader);
    }
}

}  // namespace

SnmpMessageDecoder::SnmpMessageDecoder(const std::uint8_t* bytes, std::int32_t count) {
    if (!decode(bytes, count)) {
        delete message_;
        message_ = nullptr;
    }
}

SnmpMessageDecoder::~SnmpMessageDecoder() {
    if (owns_) delete message_;
}

SnmpMessage* SnmpMessageDecoder::release() {
    owns_ = false;
    return message_;
}

// Returns false when the datagram cannot be read as a whole: the message built
// so far is then dropped by the caller.
bool SnmpMessageDecoder::decode(const std::uint8_t* bytes, std::int32_t count) {
    if (bytes == nullptr || count <= 0) return false;
    BerReader reader(bytes, static_cast<std::size_t>(count));

    // The Message SEQUENCE: its tag is not examined (lenient towards odd agents),
    // its length only compared with what arrived. Compared unsigned, a length of
    // 2^31 or more cannot pass as a negative number.
    reader.skip(1);
    const std::uint32_t outerLength = readLength(reader);
    if (reader.failed() || outerLength > static_cast<std::uint32_t>(count)) return false;

    message_ = new SnmpMessage(SnmpMessage::Empty{});

    if (readTag(reader) == tags::kInteger) message_->version_.decode(reader);
    // Without a community element the message keeps the default community.
    if (readTag(reader) == tags::kOctetString) {
        message_->community_.emplace(reader);
    } else {
        message_->community_.emplace(kDefaultCommunity);
    }

    const std::uint8_t pduTag = reader.readByte();
    readLength(reader);
    if (reader.failed()) return false;
    SnmpPduBase* pdu = makePduForDecoding(pduTag);
    // A PDU without a class (GetBulkRequest, or any other tag): its fields are
    // unknown, so the message ends here with its version and community.
    if (pdu == nullptr) return true;
    message_->setPdu(pdu);
    pdu->decode(reader);

    reader.skip(1);
    const std::uint32_t listLength = readLength(reader);
    if (reader.failed() || listLength > reader.remaining()) return false;
    BerReader list(reader.position(), listLength);

    // Names and values alternate; the binding SEQUENCE lengths are not used to
    // find where a binding ends.
    bool expectingName = true;
    SnmpVarbind* binding = nullptr;
    while (!list.atEnd()) {
        if (expectingName) {
            list.skip(1);
            readLength(list);
        }
        const std::uint8_t tag = list.readByte();
        if (list.failed()) break;
        SnmpValue* element = decodeValue(tag, list);
        if (binding == nullptr) binding = new SnmpVarbind();
        if (expectingName) {
            // A binding's name is an object identifier; anything else is not a
            // binding this library can hand out.
            if (tag != tags::kOid) {
                delete element;
                delete binding;
                return false;
            }
            binding->setName(static_cast<SnmpOid*>(element));
        } else {
            binding->setValue(element);
        }
        if (binding->name() != nullptr && binding->value() != nullptr) {
            message_->addVarbind(binding);
            binding = nullptr;
        }
        expectingName = !expectingName;
    }
    // A binding with a name and no value when the list ends is not added.
    delete binding;
    return !reader.failed() && !list.failed();
}
