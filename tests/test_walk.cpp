#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "tests/runner.h"
#include "tests/scripted_agent.h"

namespace {

Ran<WalkEnd> walk(const ScriptedAgent& agent, const WalkOptions& options = {}) {
    return walkCaptured(settingsFor(agent.port(), options));
}

TEST(Walk, NormalTable) {
    ScriptedAgent agent(tableScript({
        mac("1.10.0.0.1", "00 0c 29 3a 4b 5c"),
        mac("2.192.168.1.1", "00 11 22 33 44 55"),
        mac("3.172.16.0.255", "ff ee dd cc bb aa 99 88"),  // a longer value shows its first six bytes
    }));
    const auto run = walk(agent);
    EXPECT_EQ(run.end, WalkEnd::EndOfColumn);
    EXPECT_EQ(run.output,
              "10.0.0.1\t00-0c-29-3a-4b-5c\t1\n"
              "192.168.1.1\t00-11-22-33-44-55\t2\n"
              "172.16.0.255\tff-ee-dd-cc-bb-aa\t3\n");
    // The first request names the column, every later one the previous row.
    EXPECT_EQ(agent.requestedOids(),
              (std::vector<std::string>{"1.3.6.1.2.1.4.22.1.2", "1.3.6.1.2.1.4.22.1.2.1.10.0.0.1",
                                        "1.3.6.1.2.1.4.22.1.2.2.192.168.1.1", "1.3.6.1.2.1.4.22.1.2.3.172.16.0.255"}));
}

TEST(Walk, EmptyTable) {
    ScriptedAgent agent(tableScript({}));
    const auto run = walk(agent);
    EXPECT_EQ(run.end, WalkEnd::EndOfColumn);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(agent.requests(), 1);
    // The one request, on the wire.
    EXPECT_EQ(hexText(agent.lastRequest()),
              "30 27 02 01 00 04 06 70 75 62 6C 69 63 A1 1A 02 01 7B 02 01 00 02 01 00 "
              "30 0F 30 0D 06 09 2B 06 01 02 01 04 16 01 02 05 00");
}

TEST(Walk, OldColumnWithAddressKind) {
    const char* column = "1.3.6.1.2.1.3.1.1.2.";
    ScriptedAgent agent(tableScript({mac("4.1.10.1.2.3", "00 00 5e 00 01 01", column),
                                     mac("5.77.10.1.2.4", "00 00 5e 00 01 02", column)},
                                    "1.3.6.1.2.1.3.1.1.3.4.1.10.1.2.3"));
    const auto run = walk(agent, {.old = true});
    EXPECT_EQ(run.end, WalkEnd::EndOfColumn);
    EXPECT_EQ(run.output, "10.1.2.3\t00-00-5e-00-01-01\t4\n10.1.2.4\t00-00-5e-00-01-02\t5\n");
    EXPECT_EQ(agent.requestedOids().front(), "1.3.6.1.2.1.3.1.1.2");
}

TEST(Walk, AnswersOnTheSecondAndThirdAttempt) {
    auto table = tableScript({mac("1.10.0.0.1", "00 00 00 00 00 01"), mac("1.10.0.0.2", "00 00 00 00 00 02")});
    // Request 1 is dropped once, request 2 twice.
    ScriptedAgent agent([table](SnmpMessage* request, int number) -> std::vector<ScriptedReply> {
        if (number == 1 || number == 3 || number == 4) return {};
        return table(request, number);
    });
    const auto run = walk(agent, {.debug = true, .timeoutMs = 1000});
    EXPECT_EQ(run.end, WalkEnd::EndOfColumn);
    EXPECT_EQ(agent.requests(), 6);
    // The failed attempts show only in debug mode, with nothing after "completed...".
    const std::string failed =
        "\nSending GETNEXT: 1.3.6.1.2.1.4.22.1.2.1.10.0.0.1...sent\nReceiving response...completed...";
    EXPECT_NE(run.output.find(failed + failed + "\nSending GETNEXT"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("10.0.0.2\t00-00-00-00-00-02\t1\n"), std::string::npos);
}

TEST(Walk, NoReplyAtAll) {
    ScriptedAgent agent([](SnmpMessage*, int) { return std::vector<ScriptedReply>{}; });
    const auto run = walk(agent, {.timeoutMs = 150});
    EXPECT_EQ(run.end, WalkEnd::NoReply);
    EXPECT_EQ(run.output, kNoReply);
    EXPECT_EQ(agent.requests(), 3);
    EXPECT_GE(run.seconds, 0.45);
}

TEST(Walk, RefusedReplies) {
    // The exchange decides what each datagram means; here, the whole way from
    // the socket to the ending's line, for a reply and for another sender.
    const struct {
        const char* what;
        Bytes reply;
        WalkEnd end;
        std::string output;
        const char* host = "127.0.0.1";
    } rows[] = {
        {"another request-id", makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.1", macValue("00 01 02 03 04 05"), 124),
         WalkEnd::SetAside, "ERROR P1: Request ID does not match\n"},
        {"from another address of the device", makeResponse("1.3.6.1.2.1.4.22.1.3", new SnmpInteger(1)),
         WalkEnd::NoReply,
         std::string("ERROR: Datagrams came only from 127.0.0.1, not from the device's address, and were ignored\n") +
             kNoReply,
         "127.0.0.2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScriptedAgent agent(always(row.reply));
        const auto run = walk(agent, {.timeoutMs = 1000, .host = row.host});
        EXPECT_EQ(run.end, row.end);
        EXPECT_EQ(run.output, row.output);
    }
}

TEST(Walk, NothingSentEndsAtOnce) {
    const struct {
        const char* what;
        const char* host;
        bool refused;  // every send refused: port 0 is no destination
        std::string cause;
    } rows[] = {
        {"no device named", "", false, "ERROR: The name  could not be resolved to an IPv4 address\n"},
        {"every send refused", "127.0.0.1", true, "ERROR: The request could not be sent: "},
        {"an address that names no device", "0.0.0.0", false, "ERROR: The address 0.0.0.0 names no device\n"},
        // Looked up for an IPv4 address only, an IPv6 literal names none;
        // the resolver's reason (which differs between systems) follows.
        {"an IPv6 address", "::1", false, "ERROR: The name ::1 could not be resolved to an IPv4 address: "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScriptedAgent agent(tableScript({}));
        WalkSettings settings = settingsFor(agent.port(), {.timeoutMs = 5000, .host = row.host});
        settings.debugMode = true;
        if (row.refused) settings.port = 0;
        const auto ran = walkCaptured(settings);
        EXPECT_EQ(ran.end, WalkEnd::NoReply);
        // The cause, with the system's reason, then the line callers look for.
        const std::size_t cause = ran.output.find(row.cause);
        ASSERT_NE(cause, std::string::npos) << ran.output;
        EXPECT_EQ(ran.output.substr(ran.output.find('\n', cause) + 1), kNoReply + kCleanup);
        // A refused send is said in debug mode, and no attempt waits for a
        // reply; each but the last pauses a second for a link to come up.
        EXPECT_EQ(ran.output.find("...failed: ") != std::string::npos, row.refused) << ran.output;
        EXPECT_EQ(ran.output.find("Receiving response"), std::string::npos);
        EXPECT_LT(ran.seconds, row.refused ? 3.0 : 1.0);  // one wait would take 5
        EXPECT_EQ(agent.requests(), 0);
    }
}

#ifndef _WIN32
TEST(Walk, NothingListens) {
    // A port on 127.0.0.1 where nothing listens: each send draws a port
    // unreachable from the device itself, and the next goes at once. (Wine
    // hands up no such report: each attempt there waits its time.)
    const std::uint16_t closed = closedPort();
    const auto run = walkCaptured(settingsFor(closed, {.debug = true, .timeoutMs = 2000}));
    EXPECT_EQ(run.end, WalkEnd::NoReply);
    EXPECT_LT(run.seconds, 1.0);
    // Three sends, each ended at once by its report, then the report's line.
    const std::string attempt = "\nSending GETNEXT: 1.3.6.1.2.1.4.22.1.2...sent\nReceiving response..."
                                "a report from 127.0.0.1: ICMP port unreachable...completed...";
    EXPECT_EQ(run.output, kStartup + attempt + attempt + attempt +
                              "ERROR: 127.0.0.1 reports that nothing listens on UDP port " + std::to_string(closed) +
                              " there, or a firewall rejects it (ICMP port unreachable)\n" + kNoReply + kCleanup);
}
#endif

TEST(Walk, DebugOutputToTheByte) {
    ScriptedAgent agent(tableScript({mac("2.10.0.0.1", "00 0c 29 3a 4b 5c")}));
    const auto run = walk(agent, {.debug = true});
    // Between the socket library's start-up and its clean-up, which comes
    // after the ending's lines.
    EXPECT_EQ(run.output,
              kStartup +
              "\nSending GETNEXT: 1.3.6.1.2.1.4.22.1.2...sent\nReceiving response...completed...received..."
              "RequestID matches...No SNMP Error\nOID Response:    1.3.6.1.2.1.4.22.1.2.2.10.0.0.1\n"
              "10.0.0.1\t00-0c-29-3a-4b-5c\t2\n"
              "\nSending GETNEXT: 1.3.6.1.2.1.4.22.1.2.2.10.0.0.1...sent\nReceiving response...completed...received..."
              "RequestID matches...No SNMP Error\nOID Response:    1.3.6.1.2.1.4.22.1.3.1.10.0.0.1\n"
              "\n\nOID is outside list\n\n" + kCleanup);
}

TEST(Walk, NextRequestNamesTheReplysOidInItsShortestForm) {
    // The agent writes the address 10.0.0.1 with a needless leading zero group
    // (80 0A for 10); the next request carries the shortest form.
    ScriptedAgent agent([](SnmpMessage* request, int number) -> std::vector<ScriptedReply> {
        if (request == nullptr) return {};
        if (number > 1) return {{makeResponse("1.3.6.1.2.1.4.22.1.3.1", new SnmpInteger(1))}};
        return {{makeResponse(hexBytes("2B 06 01 02 01 04 16 01 02 01 80 0A 00 00 01"), hexBytes("04 06 00 01 02 03 04 05"))}};
    });
    const auto run = walk(agent);
    EXPECT_EQ(run.end, WalkEnd::EndOfColumn);
    EXPECT_EQ(run.output, "10.0.0.1\t00-01-02-03-04-05\t1\n");
    EXPECT_NE(hexText(agent.lastRequest()).find("06 0E 2B 06 01 02 01 04 16 01 02 01 0A 00 00 01 05 00"),
              std::string::npos);
}

TEST(Walk, RowsReachTheStreamWhateverTheDeviceDoesNext) {
    const struct {
        const char* what;
        int replyDelayMs;   // how long each reply takes
        int silentFrom;     // the first request left without an answer
        int junkMs;         // after which a junk datagram comes every millisecond for this long
        int readAt;         // the request on whose arrival the file is read,
        int readAfterMs;    // this long after it arrived
        const char* rows;   // what the reader sees; in debug mode, what it ends with
        bool debug = false;
    } rows[] = {
        // A slow device: the first row is out before the second request.
        {"slow", 150, 99, 0, 2, 0, "10.0.0.1\t00-00-00-00-00-01\t1\n"},
        // A device that stalls after fast answers: the rows received go out
        // while the walk waits, not when the attempt's time is up.
        {"stalled", 0, 3, 0, 3, 100, "10.0.0.1\t00-00-00-00-00-01\t1\n10.0.0.2\t00-00-00-00-00-02\t1\n"},
        // The same, while something sends a datagram every millisecond.
        {"stalled amid junk", 0, 3, 300, 3, 100,
         "10.0.0.1\t00-00-00-00-00-01\t1\n10.0.0.2\t00-00-00-00-00-02\t1\n"},
        // In debug mode, what the walk does goes out too before it waits.
        {"stalled, in debug mode", 0, 3, 0, 3, 100,
         "10.0.0.2\t00-00-00-00-00-02\t1\n\nSending GETNEXT: 1.3.6.1.2.1.4.22.1.2.1.10.0.0.2...sent\n"
         "Receiving response...",
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string path =
            (std::filesystem::temp_directory_path() / ("tarnwick-rows-" + std::to_string(std::rand()))).string();
        auto table = tableScript({mac("1.10.0.0.1", "00 00 00 00 00 01"), mac("1.10.0.0.2", "00 00 00 00 00 02")});
        std::atomic<bool> arrived{false};
        ScriptedAgent agent([&](SnmpMessage* request, int number) -> std::vector<ScriptedReply> {
            if (number == row.readAt) arrived = true;
            if (number >= row.silentFrom) {
                std::vector<ScriptedReply> junk;
                for (int ms = 0; ms < row.junkMs && number == row.silentFrom; ++ms) junk.push_back({Bytes{0x30}, ms});
                return junk;
            }
            auto replies = table(request, number);
            replies[0].delayMs = row.replyDelayMs;
            return replies;
        });
        std::FILE* out = std::fopen(path.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        // What a reader of the output sees, readAfterMs after the request arrived.
        std::string seen;
        std::thread reader([&] {
            for (int waited = 0; !arrived && waited < 5000; ++waited) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(row.readAfterMs));
            std::ifstream in(path, std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            seen = text.str();
        });
        const WalkSettings settings = settingsFor(agent.port(), {.debug = row.debug, .timeoutMs = 1000});
        {
            Output output(out);
            walkArpTable(settings, output);
        }
        reader.join();
        std::fclose(out);
        std::remove(path.c_str());
        EXPECT_EQ(row.debug ? seen.substr(seen.size() - std::min(seen.size(), std::strlen(row.rows))) : seen, row.rows);
    }
}

TEST(Walk, UnreadableDatagramsAreSetAside) {
    const Bytes whole = makeResponse("1.3.6.1.2.1.4.22.1.2.1.10.0.0.1", macValue("00 00 00 00 00 01"));
    // Sent in the first 100 ms, before each real reply. Two hundred datagrams
    // and the reply fit the socket's receive buffer however slowly the walk
    // reads them, so none is lost.
    const struct {
        const char* what;
        std::vector<Bytes> junk;
    } rows[] = {
        {"empty, random and cut", {Bytes{}, hexBytes("17 A9 42 00 FF 3C 9E 01"), Bytes(whole.begin(), whole.end() - 3)}},
        {"a storm", std::vector<Bytes>(200, hexBytes("30 03 02 01"))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto table = tableScript({mac("1.10.0.0.1", "00 00 00 00 00 01"), mac("1.10.0.0.2", "00 00 00 00 00 02")});
        const std::vector<Bytes> junk = row.junk;
        ScriptedAgent agent([table, junk](SnmpMessage* request, int number) {
            std::vector<ScriptedReply> replies;
            for (std::size_t i = 0; i < junk.size(); ++i) replies.push_back({junk[i], static_cast<int>(i * 100 / junk.size())});
            auto real = table(request, number);
            real[0].delayMs = 150;
            replies.push_back(real[0]);
            return replies;
        });
        const auto run = walk(agent, {.timeoutMs = 5000});
        EXPECT_EQ(run.end, WalkEnd::EndOfColumn);
        EXPECT_EQ(run.output, "10.0.0.1\t00-00-00-00-00-01\t1\n10.0.0.2\t00-00-00-00-00-02\t1\n");
        // Each request answered by its first send: no attempt was given up.
        EXPECT_EQ(agent.requests(), 3);
    }
}

#ifndef _WIN32
TEST(Walk, StopsSendingWhenTheOutputFails) {
    // The first block of rows cannot be written: no more requests go out.
    std::vector<Entry> entries;
    for (int i = 1; i <= 2000; ++i) {
        entries.push_back(mac("1.10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250), "00 00 00 00 00 01"));
    }
    ScriptedAgent agent(tableScript(entries));
    std::vector<char> room(300);
    std::FILE* out = fmemopen(room.data(), room.size(), "w");
    ASSERT_NE(out, nullptr);
    const WalkSettings settings = settingsFor(agent.port(), {.timeoutMs = 1000});
    {
        Output output(out);
        EXPECT_EQ(walkArpTable(settings, output).end, WalkEnd::OutputFailed);
        EXPECT_TRUE(output.failed());
    }
    std::fclose(out);
    EXPECT_LT(agent.requests(), 1000);
    // What was printed goes out before the name is looked up: an output that
    // fails ends the walk there, before the name that names nothing is tried.
    out = fmemopen(room.data(), 1, "w");
    {
        Output output(out);
        output.put("header");
        EXPECT_EQ(walkArpTable(settingsFor(agent.port(), {.host = ""}), output).end, WalkEnd::OutputFailed);
    }
    std::fclose(out);
}

#endif

TEST(Walk, LongOidsAndValues) {
    // An OID far longer than any fixed buffer of old, and a long value.
    std::string index = "1.10.0.0.1";
    for (int i = 0; i < 300; ++i) index += ".4294967295";
    ScriptedAgent agent(tableScript({{"1.3.6.1.2.1.4.22.1.2." + index,
                                      [] { return new SnmpOctetString(std::string(1500, 'x').c_str()); }}}));
    const auto run = walk(agent);
    EXPECT_EQ(run.end, WalkEnd::EndOfColumn);
    EXPECT_EQ(run.output, "10.0.0.1\t78-78-78-78-78-78\t1\n");
    EXPECT_EQ(agent.requestedOids().back(), "1.3.6.1.2.1.4.22.1.2." + index);
}

TEST(Walk, TextLongerThanTheOutputBuffer) {
    // In debug mode the reply's OID is shown whole: here more than 8 KiB of
    // text in one piece, from a reply that still fits the 4096-byte buffer.
    std::string oid = "1.3.6.1.2.1.4.22.1.2.1.10.0.0.1";
    for (int i = 0; i < 780; ++i) oid += ".4294967295";
    ScriptedAgent agent(tableScript({{oid, [] { return macValue("00 00 00 00 00 01"); }}}));
    const auto run = walk(agent, {.debug = true});
    EXPECT_EQ(run.end, WalkEnd::EndOfColumn);
    EXPECT_GT(oid.size(), 8192u);
    EXPECT_NE(run.output.find("OID Response:    " + oid + "\n10.0.0.1\t00-00-00-00-00-01\t1\n"), std::string::npos);
}

}  // namespace
