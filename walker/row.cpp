#include "walker/row.h"

#include <charconv>
#include <iterator>

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
    // The interface, then the markers that the column may carry before the
    // address. Real life: the older column's index is ifIndex.kind.a.b.c.d
    // with any kind, and many devices leave the kind out; some put the kind
    // (1, IPv4) before the address of the default column too. Either may go
    // on with the address's length, 4.
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
