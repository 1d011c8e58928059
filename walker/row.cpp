#include "walker/row.h"

#include <charconv>
#include <cstring>
#include <iterator>
#include <string>

namespace {

// The error-status with which an SNMPv1 agent says that no object follows.
constexpr std::int32_t kNoSuchName = 2;

// The names of the error-status values: RFC 1157's 0 to 5, RFC 3416's 6 to 18.
constexpr const char* kErrorNames[] = {
    "noError",      "tooBig",           "noSuchName",          "badValue",     "readOnly",
    "genErr",       "noAccess",         "wrongType",           "wrongLength",  "wrongEncoding",
    "wrongValue",   "noCreation",       "inconsistentValue",   "resourceUnavailable",
    "commitFailed", "undoFailed",       "authorizationError",  "notWritable",  "inconsistentName",
};

// An error reply's status, by name and number, and its error-index.
std::string errorLine(SnmpMessage& reply) {
    const std::int32_t status = reply.errorStatus();
    std::string line = "error-status ";
    if (status >= 0 && static_cast<std::size_t>(status) < std::size(kErrorNames)) {
        line += std::string(kErrorNames[status]) + " (" + std::to_string(status) + ")";
    } else {
        line += std::to_string(status);
    }
    return line + ", error-index " + std::to_string(reply.errorIndex());
}

}  // namespace

bool readIndex(const char* text, const Column& column, Row& row) {
    // The five or six numbers of the index, the markers that some devices put
    // before the address, and room to spare; numbers beyond are counted only.
    std::uint32_t index[8] = {};
    std::size_t count = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        const std::uint32_t number = parseDecimal(p, &p);
        if (count < std::size(index)) index[count] = number;
        ++count;
        if (*p != '.') break;
    }
    // Many devices leave the older column's kind out; some put the kind (1,
    // IPv4) before the default column's address too; either may add the
    // address's length, 4.
    std::size_t at = 1;
    if (column.withKind ? count >= 6 : count > 5 && index[1] == 1) ++at;
    if (index[at] == 4 && count >= at + 5) ++at;
    if (count < at + 4) return false;
    row.ifIndex = index[0];
    // Numbers after the address are not read; one above 255 is no address byte.
    for (std::size_t i = 0; i < 4; ++i) {
        if (index[at + i] > 255) return false;
        row.address[i] = index[at + i];
    }
    return true;
}

void printRow(Output& out, const Row& row) {
    // Four numbers of at most ten digits, six hex pairs, one more number and
    // the separators: 73 bytes at most.
    char line[80];
    char* const end = line + sizeof line;
    char* p = line;
    for (std::size_t i = 0; i < 4; ++i) {
        p = std::to_chars(p, end, row.address[i]).ptr;
        *p++ = i < 3 ? '.' : '\t';
    }
    const std::uint16_t tag = row.value != nullptr ? row.value->tag() : 0;
    if (tag == tags::kOctetString || tag == tags::kIpAddress || tag == tags::kOpaque) {
        const auto* bytes = static_cast<const SnmpByteValue*>(row.value);
        for (std::size_t i = 0; i < bytes->contentLength() && i < 6; ++i) {
            if (i != 0) *p++ = '-';
            p = putHex(p, bytes->bytes()[i]);
        }
    } else {
        // A text of any length goes out on its own.
        out.write(line, static_cast<std::size_t>(p - line));
        out.put(row.value != nullptr ? row.value->toString() : "NULL");
        p = line;
    }
    *p++ = '\t';
    p = std::to_chars(p, end, row.ifIndex).ptr;
    *p++ = '\n';
    out.write(line, static_cast<std::size_t>(p - line));
}

std::optional<Ending> judge(SnmpMessage& reply, const Column& column, bool debug, Output& out, Row& row) {
    // The request-id was checked with the rest of what answers, by the exchange.
    if (debug) out.put("received...RequestID matches...");
    if (reply.errorStatus() == kNoSuchName) {
        // RFC 1157, 4.1.3: an SNMPv1 agent answers a GetNext past the last
        // object it shows with noSuchName. Its view ends here, and so does
        // the column within it.
        if (debug) out.put("noSuchName\n\nNo OID follows in the device's view\n\n");
        return WalkEnd::EndOfColumn;
    }
    if (reply.errorStatus() != 0) {
        if (debug) out.put(errorLine(reply) + "\n");
        return WalkEnd::ErrorStatus;
    }
    if (debug) out.put("No SNMP Error\n");
    // An answer has a binding with a name: the exchange let no other through.
    SnmpVarbind* binding = reply.varbindList()->head();
    // RFC 3416, 4.2.2: an agent answers a GetNext past the last object it
    // shows with endOfMibView; the other two exceptions end the walk alike.
    if (const char* exception = exceptionName(binding->value())) {
        if (debug) out.put(std::string(exception) + "\n\nNo OID follows in the device's view\n\n");
        return WalkEnd::EndOfColumn;
    }
    row.oid = binding->name()->toString();
    if (debug) out.put(std::string("OID Response:    ") + row.oid + "\n");
    // The column's OID and a dot: the next column (…1.3) and one whose number
    // merely begins with the same digits (…1.20) are outside it.
    const std::size_t length = std::strlen(column.oid);
    if (std::strncmp(row.oid, column.oid, length) != 0 || row.oid[length] != '.') {
        if (debug) out.put("\n\nOID is outside list\n\n");
        return WalkEnd::EndOfColumn;
    }
    if (!readIndex(row.oid + length + 1, column, row)) {
        if (debug) out.put(std::string("Index that could not be read: ") + (row.oid + length + 1) + "\n");
        return WalkEnd::BadIndex;
    }
    row.value = binding->value();
    return std::nullopt;
}
