#include "walker/cli.h"

#include <new>
#include <string>

#include "snmp/ber.h"
#include "transport/sockets.h"
#include "walker/walk.h"

namespace {

const char kBanner[] = "Tarnwick v1.1 - the ARP table of a network device, read over SNMP\n\n";

bool sameSwitch(const char* argument, const char* name) {
    // "-d" and "-o" in either case.
    return argument[0] == name[0] && argument[1] != '\0' && (argument[1] | 0x20) == name[1] && argument[2] == '\0';
}

void printUsage(std::FILE* out, const char* programName) {
    std::string name = programName;
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    std::fputs("  A program to use SNMP to fetch the ARP cache of a device.\n", out);
    std::fprintf(out, "\n  Usage:\t%s ipAddress community [-o] [-d]\n\n", name.c_str());
    std::fputs("  Arguments:\tipAddress = IP address of switch (or DNS name)\n", out);
    std::fputs("\t\tcommunity = SNMP read/write community name on switch\n", out);
    std::fputs("\t\t[-o] = Use old depricated OIDs (1.3.6.1.2.1.3.1.1.2)\n", out);
    std::fputs("\t\t[-d] = Output debugging information\n", out);
}

int exitCodeFor(WalkEnd end) {
    switch (end) {
        case WalkEnd::EndOfColumn: return exitcode::kOk;
        case WalkEnd::NoReply: return exitcode::kNoReply;
        default: return exitcode::kBadReply;
    }
}

int run(int argc, const char* const* argv, std::FILE* out, const RunOptions& options) {
    std::fputs(kBanner, out);
    const char* programName = argc > 0 && argv[0] != nullptr ? argv[0] : "tarnwick";
    // A community is one OCTET STRING, at most 65535 bytes: a longer one cannot
    // be sent whole, and a cut one would ask the device with the wrong community.
    if (argc < 3 || argc > 5 || std::string(argv[2]).size() > limits::kMaxContent) {
        printUsage(out, programName);
        return exitcode::kUsage;
    }
    WalkSettings settings;
    for (int i = 3; i < argc; ++i) {
        if (sameSwitch(argv[i], "-d")) settings.debugMode = true;
        if (sameSwitch(argv[i], "-o")) settings.useOldOids = true;
    }
    std::fprintf(out, "Agent:\t\t%s\n", argv[1]);
    std::fprintf(out, "DebugMode:\t%s\n", settings.debugMode ? "TRUE" : "FALSE");
    std::fprintf(out, "OID:\t\t%s\n\n", settings.useOldOids ? kOldAtColumn : kNetToMediaColumn);
    std::fputs("IP Address\tMAC Address\t\tInt\n", out);
    std::fputs("---------------\t-----------------\t---\n", out);

    settings.agent = argv[1];
    settings.community = argv[2];
    settings.port = options.port;
    settings.timeoutMs = options.timeoutMs;

    if (settings.debugMode) std::fputs("Winsock Startup...", out);
    net::startup();
    if (settings.debugMode) std::fputs("successful\n", out);
    const WalkEnd end = walkArpTable(settings, out);
    if (settings.debugMode) std::fputs("Winsock cleanup...", out);
    net::cleanup();
    if (settings.debugMode) std::fputs("completed\n", out);
    return exitCodeFor(end);
}

}  // namespace

int runTarnwick(int argc, const char* const* argv, std::FILE* out, const RunOptions& options) {
    try {
        return run(argc, argv, out, options);
    } catch (const std::bad_alloc&) {
        std::fputs("ERROR: Out of memory\n", out);
        return exitcode::kOutOfMemory;
    }
}
