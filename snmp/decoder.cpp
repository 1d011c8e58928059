#include "snmp/decoder.h"

#include <algorithm>
#include <utility>

namespace {

// The value class for a tag byte; any tag without a class of its own (NULL,
// Opaque) becomes an Opaque that keeps the content as received. The SNMPv2
// exceptions (noSuchObject, noSuchInstance, endOfMibView) keep their tag too,
// so that a walk can tell the end of the agent's view from a value.
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
        case tags::kNoSuchObject:
        case tags::kNoSuchInstance:
        case tags::kEndOfMibView: return new SnmpOpaque(reader, tag);
        default: return new SnmpOpaque(reader);
    }
}

}  // namespace

SnmpMessageDecoder::SnmpMessageDecoder(const std::uint8_t* bytes, std::int32_t count) {
    // The message is the decoder's from the start, so that it goes if the
    // datagram turns out unreadable or memory runs out half way.
    std::unique_ptr<SnmpMessage> message;
    if (decode(bytes, count, message)) message_ = message.release();
}

SnmpMessageDecoder::~SnmpMessageDecoder() {
    if (owns_) delete message_;
}

SnmpMessage* SnmpMessageDecoder::release() {
    owns_ = false;
    return message_;
}

// Returns false when the datagram cannot be read as a whole: the message built
// so far is then dropped.
bool SnmpMessageDecoder::decode(const std::uint8_t* bytes, std::int32_t count, std::unique_ptr<SnmpMessage>& out) {
    if (bytes == nullptr || count <= 0) return false;
    // The Message SEQUENCE: its tag is not examined (lenient towards odd agents),
    // its length only compared with what arrived. Compared unsigned, a length of
    // 2^31 or more cannot pass as a negative number.
    BerReader datagram(bytes, static_cast<std::size_t>(count));
    datagram.skip(1);
    const std::uint32_t outerLength = readLength(datagram);
    if (datagram.failed() || outerLength > static_cast<std::uint32_t>(count)) return false;
    // What the message holds must lie within its length: a message that says
    // it is shorter than its elements is damaged. A length that claims a few
    // bytes more than arrived, counting its own header, is tolerated.
    BerReader reader(datagram.position(), std::min<std::size_t>(outerLength, datagram.remaining()));

    out = std::make_unique<SnmpMessage>();
    SnmpMessage& message = *out;
    if (readTag(reader) == tags::kInteger) message.setVersion(new SnmpInteger(reader));
    // Without a community element the message keeps the default community.
    if (readTag(reader) == tags::kOctetString) message.setCommunity(new SnmpOctetString(reader));

    const std::uint8_t pduTag = reader.readByte();
    readLength(reader);
    if (reader.failed()) return false;
    // A PDU without a class (GetBulkRequest, or any other tag): its fields are
    // unknown, so the message ends here with its version and community.
    SnmpPduBase* pdu = makePdu(pduTag);
    if (pdu == nullptr) return true;
    message.setPdu(pdu);
    pdu->decode(reader);

    reader.skip(1);
    const std::uint32_t listLength = readLength(reader);
    if (reader.failed() || listLength > reader.remaining()) return false;
    BerReader list(reader.position(), listLength);

    // Names and values alternate; the binding SEQUENCE lengths are not used to
    // find where a binding ends. Each binding joins the list once it has both.
    while (!list.atEnd()) {
        list.skip(1);
        readLength(list);
        const std::uint8_t nameTag = list.readByte();
        if (list.failed()) break;
        // A binding's name is an object identifier; anything else is not a
        // binding this library can hand out.
        if (nameTag != tags::kOid) return false;
        std::unique_ptr<SnmpOid> name(new SnmpOid(list));
        // A name with no value when the list ends is no binding.
        if (list.atEnd()) break;
        const std::uint8_t valueTag = list.readByte();
        std::unique_ptr<SnmpValue> value(decodeValue(valueTag, list));
        message.addVarbind(makeVarbind(std::move(name), std::move(value)).release());
    }
    return !reader.failed() && !list.failed();
}
