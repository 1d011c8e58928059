#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/messages.h"
#include "tests/runner.h"
#include "walker/row.h"

namespace {

// What printRow writes for the rows given, one after another.
std::string printed(const std::vector<Row>& rows) {
    std::FILE* stream = std::tmpfile();
    {
        Output out(stream);
        for (const Row& row : rows) printRow(out, row);
    }
    return readBack(stream);
}

// A row of interface ifIndex, address a.b.c.d, showing value.
Row rowOf(std::uint32_t ifIndex, std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
          SnmpValue* value) {
    Row row;
    row.ifIndex = ifIndex;
    row.address[0] = a;
    row.address[1] = b;
    row.address[2] = c;
    row.address[3] = d;
    row.value = value;
    return row;
}

TEST(Row, MacColumn) {
    const struct {
        std::function<SnmpValue*()> value;
        const char* mac;
    } rows[] = {
        {[] { return macValue("41 42 43 44 45 46"); }, "41-42-43-44-45-46"},  // all printable
        {[] { return macValue("00 11 22"); }, "00-11-22"},                     // fewer than six bytes
        {[] { return macValue(""); }, ""},
        {[] { return new SnmpInteger(5); }, "5"},                              // another type: its text
        {[] { return new SnmpIpAddress("10.1.2.3"); }, "0a-01-02-03"},
        {[] {
             const Bytes b = hexBytes("07 61 62 63 64 65 66 67");  // length, then "abcdefg"
             BerReader reader(b.data(), b.size());
             return new SnmpOpaque(reader);
         },
         "61-62-63-64-65-66"},
        {[] { return new SnmpOid("1.3.6.1.2"); }, "1.3.6.1.2"},  // not a byte string: its text
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mac);
        // The row after it shows nothing of this one's value.
        const std::unique_ptr<SnmpValue> value(row.value());
        const std::unique_ptr<SnmpValue> next(macValue("00 00 00 00 00 0a"));
        EXPECT_EQ(printed({rowOf(7, 10, 0, 0, 9, value.get()), rowOf(7, 10, 0, 0, 10, next.get())}),
                  std::string("10.0.0.9\t") + row.mac + "\t7\n10.0.0.10\t00-00-00-00-00-0a\t7\n");
    }
}

TEST(Row, IndexNumbersOfEveryWidth) {
    // Interface indexes at each change in the number of digits, address bytes
    // up to 255, read from the index and printed.
    const std::uint32_t numbers[] = {0, 9, 10, 99, 100, 999, 1000, 9999, 10000, 99999, 100000, 999999, 1000000,
                                     9999999, 10000000, 99999999, 100000000, 999999999, 1000000000, 4294967295u};
    const std::unique_ptr<SnmpValue> mac(macValue("00 00 00 00 00 01"));
    for (std::uint32_t n : numbers) {
        SCOPED_TRACE(n);
        const std::string byte = std::to_string(n < 1000 ? n % 256 : 255);
        const std::string address = byte + ".1." + byte + "." + byte;
        Row row;
        ASSERT_TRUE(readIndex((std::to_string(n) + "." + address).c_str(), kNetToMedia, row));
        row.value = mac.get();
        EXPECT_EQ(printed({row}), address + "\t00-00-00-00-00-01\t" + std::to_string(n) + "\n");
    }
}

TEST(Row, AddressMarkersInTheIndex) {
    // Some devices put the address's kind (1) and length (4) before the
    // address; an index of five numbers is read as it stands. Null: not read.
    const struct {
        const char* index;
        const char* row;
        bool old = false;
    } rows[] = {
        {"6.1.10.0.0", "1.10.0.0\t6"},
        {"2.1.10.5.1.202", "10.5.1.202\t2"},
        {"7.1.4.10.0.0.9", "10.0.0.9\t7"},
        {"3.4.10.0.0.8", "10.0.0.8\t3"},
        {"4.1.4.10.0.0", "4.10.0.0\t4"},  // too few numbers after the length for one
        {"9.10.0.0.6.7", "10.0.0.6\t9"},    // no markers: numbers after the address are not read
        {"1.1.172.31.63.1.0", "172.31.63.1\t1"},  // a real device's, ending in .0
        {"7.1.4.10.9.8.1", "10.9.8.1\t7"},
        // The older column's kind is any number, then the same length marker.
        {"6.1.1.2.3.4", "1.2.3.4\t6", true},
        {"6.77.1.2.3.4.9", "1.2.3.4\t6", true},
        {"7.1.4.10.9.8.1", "10.9.8.1\t7", true},
        {"7.5.4.10.9.8.1", "10.9.8.1\t7", true},
        {"7.1.4.9.8.1", "4.9.8.1\t7", true},  // six numbers: the 4 is the address's first
        // Many devices leave the kind out: five numbers are ifIndex.a.b.c.d.
        {"7.10.9.8.1", "10.9.8.1\t7", true},
        {"8.1.10.9.9", "1.10.9.9\t8", true},
        // An IPv6 entry (kind 2, length 16, fe80::1) is read by the same rule:
        // an address that is none.
        {"2.2.16.254.128.0.0.0.0.0.0.0.0.0.0.0.0.0.1", "2.16.254.128\t2"},
        {"2.2.16.254.128.0.0.0.0.0.0.0.0.0.0.0.0.0.1", "16.254.128.0\t2", true},
        // Fewer numbers are no index in either column.
        {"7.10.9.8", nullptr, true},
        {"7.10.9.8", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.index);
        Row read;
        ASSERT_EQ(readIndex(row.index, row.old ? kOldAt : kNetToMedia, read), row.row != nullptr);
        if (row.row == nullptr) continue;
        const std::string shown = std::to_string(read.address[0]) + "." + std::to_string(read.address[1]) + "." +
                                  std::to_string(read.address[2]) + "." + std::to_string(read.address[3]) + "\t" +
                                  std::to_string(read.ifIndex);
        EXPECT_EQ(shown, row.row);
    }
}

TEST(Row, WhatAnAnswerMeans) {
    const Bytes next = hexBytes("2B 06 01 02 01 04 16 01 02 01 0A 00 00 02");  // the next row's name
    const std::string view = "\n\nNo OID follows in the device's view\n\n";
    const char* const mac = "00 01 02 03 04 05";
    const struct {
        const char* what;
        Bytes reply;
        bool row;  // a row to print, or how the walk ends
        WalkEnd end = WalkEnd::EndOfColumn;
        std::string progress = "";  // with -d, after "received...RequestID matches..."
    } rows[] = {
        {"a row", makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.1", macValue(mac)), true},
        {"a NULL value", makeResponse(next, hexBytes("05 00")), true},
        {"genErr", makeResponse(kNetToMediaColumn, macValue(mac), 123, 5, 1), false, WalkEnd::ErrorStatus,
         "error-status genErr (5), error-index 1\n"},
        {"tooBig", makeResponse(kNetToMediaColumn, nullptr, 123, 1), false, WalkEnd::ErrorStatus,
         "error-status tooBig (1), error-index 0\n"},
        {"inconsistentName", makeResponse(kNetToMediaColumn, nullptr, 123, 18, 2), false, WalkEnd::ErrorStatus,
         "error-status inconsistentName (18), error-index 2\n"},
        {"a status without a name", makeResponse(kNetToMediaColumn, nullptr, 123, 19, 1), false, WalkEnd::ErrorStatus,
         "error-status 19, error-index 1\n"},
        {"noSuchName: the end of the agent's view", makeResponse(kNetToMediaColumn, nullptr, 123, 2), false, WalkEnd::EndOfColumn,
         "noSuchName" + view},
        // An SNMPv2 exception in place of the value ends the column too.
        {"endOfMibView", makeResponse(next, hexBytes("82 00")), false, WalkEnd::EndOfColumn,
         "No SNMP Error\nendOfMibView" + view},
        {"noSuchObject", makeResponse(next, hexBytes("80 00")), false, WalkEnd::EndOfColumn,
         "No SNMP Error\nnoSuchObject" + view},
        {"noSuchInstance", makeResponse(next, hexBytes("81 00")), false, WalkEnd::EndOfColumn,
         "No SNMP Error\nnoSuchInstance" + view},
        {"too few index numbers", makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.1", macValue(mac)), false,
         WalkEnd::BadIndex,
         "No SNMP Error\nOID Response:    1.3.6.1.2.1.4.22.1.2.1.10.0.1\nIndex that could not be read: 1.10.0.1\n"},
        {"an address number above 255", makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.256", macValue(mac)), false,
         WalkEnd::BadIndex},
        {"the next column", makeResponse("1.3.6.1.2.1.4.22.1.3.1.10.0.0.1", macValue(mac)), false},
        {"a column that starts with the same digits", makeResponse("1.3.6.1.2.1.4.22.1.20.1.10.0.0.1", macValue(mac)),
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const auto reply = decoded(row.reply);
        ASSERT_NE(reply, nullptr);
        for (const bool debug : {false, true}) {
            std::FILE* stream = std::tmpfile();
            Row read;
            std::optional<Ending> end;
            {
                Output out(stream);
                end = judge(*reply, kNetToMedia, debug, out, read);
            }
            // The ending's line is printed by the walk; with -d, what led to it.
            const std::string progress = readBack(stream);
            const std::string shown = debug && !row.progress.empty() ? "received...RequestID matches..." + row.progress : "";
            if (!debug || !row.progress.empty()) {
                EXPECT_EQ(progress, shown);
            }
            ASSERT_EQ(!end.has_value(), row.row);
            if (end.has_value()) {
                EXPECT_EQ(end->end, row.end);
            }
        }
    }
}

}  // namespace
