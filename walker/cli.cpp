#include "walker/cli.h"

#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "transport/sockets.h"
#include "walker/walk.h"

namespace {

const char kBanner[] = "Tarnwick v1.1 - the ARP table of a network device, read over SNMP\n\n";

bool sameSwitch(const char* argument, const char* name) {
    // "-d" and "-o" in either case.
    return argument[0] == name[0] && argument[1] != '\0' && (argument[1] | 0x20) == name[1] && argument[2] == '\0';
}

// The agent's text goes into the header as it is: a blank, a control
// character or any byte outside printable ASCII (a reader that splits lines
// as Unicode does ends one at U+0085 or U+2028) could forge lines of output,
// and a dotted address or a DNS name has none.
bool namesADevice(const char* agent) {
    for (const char* c = agent; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte <= ' ' || byte >= 0x7F) return false;
    }
    return true;
}

// The socket library, started for the walk and cleaned up once, after the
// ending's lines, or as the guard goes when memory runs out on the way; in
// debug mode, each is said.
class SocketLibrary {
public:
    SocketLibrary(Output& out, bool debug) : out_(out), debug_(debug) {
        if (debug_) out_.put("Winsock Startup...");
        net::startup();
        if (debug_) out_.put("successful\n");
    }
    ~SocketLibrary() { cleanUp(); }
    void cleanUp() {
        if (std::exchange(cleaned_, true)) return;
        if (debug_) out_.put("Winsock cleanup...");
        net::cleanup();
        if (debug_) out_.put("completed\n");
    }
    SocketLibrary(const SocketLibrary&) = delete;
    SocketLibrary& operator=(const SocketLibrary&) = delete;

private:
    Output& out_;
    const bool debug_;
    bool cleaned_ = false;
};

// Finishes a run, however it ended: the ending's lines, then the socket
// library's clean-up where it was started, then everything flushed. Gives the
// ending that then stands.
Ending finish(const Ending& ending, Output& out, std::FILE* errors, SocketLibrary* sockets = nullptr) {
    printEnding(ending, out);
    if (sockets != nullptr) sockets->cleanUp();
    return settle(ending, out, errors);
}

// The banner, the command line and the header: the walk's settings, or the
// ending that comes in place of a walk.
std::optional<Ending> readCommandLine(int argc, const char* const* argv, Output& out, const RunOptions& options,
                                      WalkSettings& settings) {
    out.put(kBanner);
    const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "tarnwick";
    if (argc < 3 || argc > 5) return Ending(Refusal::Usage, program);
    if (*argv[1] == '\0') return Ending(Refusal::NoAgentText, program);
    if (!namesADevice(argv[1])) return Ending(Refusal::BadAgentText, program);
    for (int i = 3; i < argc; ++i) {
        if (sameSwitch(argv[i], "-d")) settings.debugMode = true;
        if (sameSwitch(argv[i], "-o")) settings.useOldOids = true;
    }
    settings.community = argv[2];
    // A reply brings the community back: one too long for the receive buffer
    // could never be read, and a cut one would ask with the wrong community.
    if (!repliesFit(settings.community, settings.useOldOids)) return Ending(Refusal::CommunityTooLong, program);
    out.put(std::string("Agent:\t\t") + argv[1] + "\n");
    out.put(settings.debugMode ? "DebugMode:\tTRUE\n" : "DebugMode:\tFALSE\n");
    out.put(std::string("OID:\t\t") + (settings.useOldOids ? kOldAtColumn : kNetToMediaColumn) + "\n\n");
    out.put("IP Address\tMAC Address\t\tInt\n");
    out.put("---------------\t-----------------\t---\n");
    // The walk flushes the header before it contacts the device: to an output
    // that cannot be written, nothing is sent at all.
    settings.agent = argv[1];
    settings.port = options.port;
    settings.timeoutMs = options.timeoutMs;
    return std::nullopt;
}

// Room for the C++ runtime to throw bad_alloc (some 150 bytes), and more
// than an allocator keeps aside for reuse at one size only (glibc: 1 KiB).
constexpr std::size_t kRoomToThrow = 4096;

// The run under way: where it says that memory ran out.
struct Running {
    Output* out = nullptr;
    std::FILE* errors = nullptr;
} running;

// Memory ran out. Throwing bad_alloc takes memory for the exception itself,
// and a process that cannot grow at all (under a tight ulimit -v) may have
// none left, nor the C++ runtime's reserve for it, which it sets aside as the
// program starts and goes without when that fails. Then the run ends here,
// as it would have ended: the out-of-memory line, everything flushed.
void outOfMemory() {
    if (void* room = std::malloc(kRoomToThrow)) {
        std::free(room);
        throw std::bad_alloc();
    }
    std::_Exit(exitStatus(finish(Ending(WalkEnd::OutOfMemory), *running.out, running.errors)));
}

// While a run goes on, memory that runs out goes through outOfMemory.
class MemoryWatch {
public:
    MemoryWatch(Output& out, std::FILE* errors) : previous_(std::set_new_handler(outOfMemory)) {
        running = {&out, errors};
    }
    ~MemoryWatch() {
        std::set_new_handler(previous_);
        running = {};
    }
    MemoryWatch(const MemoryWatch&) = delete;
    MemoryWatch& operator=(const MemoryWatch&) = delete;

private:
    const std::new_handler previous_;
};

}  // namespace

Ending runWalk(const WalkSettings& settings, Output& out, std::FILE* errors) {
    SocketLibrary sockets(out, settings.debugMode);
    return finish(walkArpTable(settings, out), out, errors, &sockets);
}

int runTarnwick(int argc, const char* const* argv, std::FILE* stream, const RunOptions& options) {
    Output out(stream);
    const MemoryWatch memory(out, options.errors);
    try {
        WalkSettings settings;
        const std::optional<Ending> instead = readCommandLine(argc, argv, out, options, settings);
        return exitStatus(instead ? finish(*instead, out, options.errors) : runWalk(settings, out, options.errors));
    } catch (const std::bad_alloc&) {
        // The socket library was cleaned up on the way here: this line is the run's last.
        return exitStatus(finish(Ending(WalkEnd::OutOfMemory), out, options.errors));
    }
}
