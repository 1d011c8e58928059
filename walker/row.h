// A row of the table: the columns that can be walked, what an answer comes to
// (a row, or the walk's end), the interface index and address read from the
// index of a reply's OID, and the printed line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "snmp/message.h"
#include "walker/endings.h"
#include "walker/output.h"

// The two columns that can be walked.
inline constexpr char kNetToMediaColumn[] = "1.3.6.1.2.1.4.22.1.2";  // ipNetToMediaPhysAddress
inline constexpr char kOldAtColumn[] = "1.3.6.1.2.1.3.1.1.2";        // atPhysAddress, with -o

struct Column {
    const char* oid;
    std::size_t numbers;  // numbers in the index as the column defines it: ifIndex[.kind].a.b.c.d
    bool withKind;        // whether the index carries the address's kind: ifIndex.kind.a.b.c.d
};

inline constexpr Column kNetToMedia{kNetToMediaColumn, 5, false};
inline constexpr Column kOldAt{kOldAtColumn, 6, true};

// One entry of the table, read from a reply that still owns what it points to.
struct Row {
    std::uint32_t ifIndex = 0;
    std::uint32_t address[4] = {};
    SnmpValue* value = nullptr;
    const char* oid = nullptr;  // the reply's OID text: the next request's name
};

// Reads the interface index and the address from a row's index (the OID's
// text after the column and its dot); false when it has too few numbers, or
// an address number above 255. The first number is the interface; then come
// the markers that the column may carry: the address's kind (in the default
// column only 1, and only when more than five numbers; in the older column
// any number, when six or more), then its length, 4, when at least four
// numbers still follow. The next four numbers are the address; numbers after
// it are not read.
bool readIndex(const char* text, const Column& column, Row& row);

// Prints one row: the address, the MAC column and the interface index. The
// MAC column shows the first six bytes of a byte-string value (OCTET STRING,
// IpAddress, Opaque) as two lower-case hex digits each, joined by "-"; fewer
// bytes give fewer groups. Any other value shows its own text.
void printRow(Output& out, const Row& row);

// Decides on an answer: a row, or how the walk ends (and, in debug mode,
// prints the progress lines).
std::optional<Ending> judge(SnmpMessage& reply, const Column& column, bool debug, Output& out, Row& row);
