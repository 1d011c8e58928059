#include "walker/endings.h"

#include <cstring>

#include "snmp/pdu.h"
#include "transport/sockets.h"

namespace {

const char kNoReplyLine[] =
    "ERROR P1: No returned packet.  Your SNMP community string may be incorrect, or there may be a problem "
    "communicating with the device.\n";

// The line of a single kind, with the details of the latest such datagram.
std::string lineFor(const Aside& aside) {
    switch (aside.kind.reason) {
        case AsideReason::OtherRequestId: return "ERROR P1: Request ID does not match\n";
        case AsideReason::NoBinding: return "ERROR: The reply holds no variable binding\n";
        case AsideReason::NotFollowing:
            return "ERROR: Asked for the OID after " + aside.asked + ", the device keeps answering with " +
                   aside.answered + "; the walk cannot go on.\n";
        case AsideReason::NotAResponse:
            return "ERROR: The device answered with " + pduName(aside.kind.pduType) + ", not a GetResponse\n";
        case AsideReason::TooLong:
            return "ERROR: The device's replies are longer than the " + std::to_string(limits::kReceiveBuffer) +
                   " bytes that can be received\n";
        case AsideReason::Unreadable: return "ERROR: The device's replies could not be read\n";
    }
    return {};
}

// The line that says why nothing could be sent at all.
void printUnready(const Silence& silence, Output& out) {
    const std::string reason = net::errorText(silence.unready.code);
    switch (silence.unready.cause) {
        case Unready::None: return;
        case Unready::NoSocket: out.put("ERROR: No UDP socket could be opened: " + reason + "\n"); return;
        case Unready::NotResolved:
            // An empty name, which only a caller of the library can give, is
            // looked up nowhere, so the system gives no reason.
            out.put("ERROR: The name " + silence.agent + " could not be resolved to an IPv4 address" +
                    (silence.agent.empty() ? "" : ": " + reason) + "\n");
            return;
        case Unready::ZeroAddress: out.put("ERROR: The address 0.0.0.0 names no device\n"); return;
        case Unready::NotBound: out.put("ERROR: The UDP socket could not be bound: " + reason + "\n"); return;
    }
}

// The line that says why the command line was not accepted, before the
// usage text.
void printRefusal(Refusal refusal, Output& out) {
    switch (refusal) {
        case Refusal::Usage: return;
        case Refusal::NoAgentText: out.put("ERROR: No device was named\n"); return;
        case Refusal::BadAgentText:
            out.put("ERROR: The device's name or address holds a blank or a byte outside printable ASCII\n");
            return;
        case Refusal::CommunityTooLong:
            out.put("ERROR: The community is too long: no reply that carries it back fits the " +
                    std::to_string(limits::kReceiveBuffer) + " bytes that can be received\n");
            return;
    }
}

// The usage text, with the program's name as invoked, in capitals.
void printUsage(Output& out, std::string name) {
    for (char& c : name) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    out.put("  A program to use SNMP to fetch the ARP cache of a device.\n");
    out.put("\n  Usage:\t" + name + " ipAddress community [-o] [-d]\n\n");
    out.put("  Arguments:\tipAddress = IP address of switch (or DNS name)\n");
    out.put("\t\tcommunity = SNMP read/write community name on switch\n");
    out.put("\t\t[-o] = Use old depricated OIDs (1.3.6.1.2.1.3.1.1.2)\n");
    out.put("\t\t[-d] = Output debugging information\n");
}

// The line that says what the network reported about the request.
void printReport(const net::Report& report, Output& out) {
    const std::string who = report.sender != 0 ? dotted(report.sender) : "The network";
    const std::string device = dotted(report.destination);
    if (report.kind == net::Report::PortUnreachable) {
        const std::string where = report.sender == report.destination ? "there" : "at " + device;
        out.put("ERROR: " + who + " reports that nothing listens on UDP port " + std::to_string(report.port) + " " +
                where + ", or a firewall rejects it (" + icmpName(report) + ")\n");
        return;
    }
    out.put("ERROR: " + who + " reports that " + device + " cannot be reached (" + icmpName(report) + ")\n");
}

}  // namespace

int exitStatus(const Ending& ending) {
    switch (ending.end) {
        case WalkEnd::EndOfColumn: return 0;
        case WalkEnd::Refused: return 1;
        case WalkEnd::NoReply: return 2;
        case WalkEnd::OutOfMemory: return 4;
        case WalkEnd::OutputFailed: return 5;
        // 128 + the signal's number, as a shell reports a program it ended.
        case WalkEnd::Interrupted: return 128 + ending.signal;
        // The device answered, but the walk could not go on.
        case WalkEnd::ErrorStatus: case WalkEnd::BadIndex: case WalkEnd::SetAside: return 3;
    }
    return 3;
}

void printEnding(const Ending& ending, Output& out, std::FILE* errors) {
    switch (ending.end) {
        case WalkEnd::EndOfColumn: case WalkEnd::Interrupted: return;
        case WalkEnd::Refused:
            printRefusal(ending.refusal, out);
            printUsage(out, ending.program);
            return;
        case WalkEnd::NoReply: {
            const Silence& silence = ending.silence;
            printUnready(silence, out);
            if (silence.report) printReport(*silence.report, out);
            if (silence.refused) {
                out.put("ERROR: The request could not be sent: " + net::errorText(*silence.refused) + "\n");
            }
            if (silence.stranger) {
                // A multi-homed device may answer from another of its addresses.
                out.put("ERROR: Datagrams came only from " + dotted(*silence.stranger) +
                        ", not from the device's address, and were ignored\n");
            }
            out.put(kNoReplyLine);
            return;
        }
        case WalkEnd::ErrorStatus: out.put("ERROR P1: Error receiving packet\n"); return;
        case WalkEnd::BadIndex: out.put("ERROR: Mac address could not be read\n"); return;
        case WalkEnd::SetAside: {
            // One kind: its own line. More: one line that names each.
            const Rejected& rejected = ending.rejected;
            if (rejected.kinds.size() <= 1) {
                out.put(lineFor(rejected.latest));
                return;
            }
            std::string line = "ERROR: The device's replies could not be used: ";
            for (std::size_t i = 0; i < rejected.kinds.size(); ++i) {
                line += (i == 0 ? "" : ", ") + asideName(rejected.kinds[i]);
            }
            out.put(line + "\n");
            return;
        }
        case WalkEnd::OutOfMemory: out.put("ERROR: Out of memory\n"); return;
        case WalkEnd::OutputFailed:
            // Standard output is gone: the one place left to say so.
            if (errors != nullptr) {
                std::fprintf(errors, "ERROR: The output could not be written: %s\n", std::strerror(ending.error));
            }
            return;
    }
}

Ending settle(Ending ending, Output& out, std::FILE* errors) {
    const bool written = out.flush();
    // A request to stop stays the reason, also when the reader then went away.
    const int signal = net::interruption();
    if (signal != 0 && (!written || ending.end == WalkEnd::OutputFailed)) return Ending::interrupted(signal);
    if (!written && ending.end != WalkEnd::Interrupted) ending = Ending::outputFailed(out.error());
    if (ending.end == WalkEnd::OutputFailed) printEnding(ending, out, errors);
    return ending;
}

// No default: a reason without a name does not compile.
std::string asideName(const AsideKind& kind) {
    switch (kind.reason) {
        case AsideReason::OtherRequestId: return "a reply with another request-id";
        case AsideReason::NoBinding: return "a reply without a binding";
        case AsideReason::NotFollowing: return "a reply that does not follow the OID asked for";
        case AsideReason::NotAResponse: return pduName(kind.pduType);
        case AsideReason::TooLong:
            return "a reply longer than the " + std::to_string(limits::kReceiveBuffer) + " bytes that can be received";
        case AsideReason::Unreadable: return "a datagram that could not be read";
    }
    return {};
}

std::string pduName(std::uint8_t type) {
    switch (type) {
        case pdutags::kGetRequest: return "a GetRequest";
        case pdutags::kGetNextRequest: return "a GetNextRequest";
        case pdutags::kGetResponse: return "a GetResponse";
        case pdutags::kSetRequest: return "a SetRequest";
        case pdutags::kTrap: return "a Trap";
        case pdutags::kInformRequest: return "an InformRequest";
        case pdutags::kV2Trap: return "an SNMPv2-Trap";
        default: return "a PDU the tool does not know";
    }
}

std::string icmpName(const net::Report& report) {
    switch (report.kind) {
        case net::Report::PortUnreachable: return "ICMP port unreachable";
        case net::Report::HostUnreachable: return "ICMP host unreachable";
        case net::Report::NetworkUnreachable: return "ICMP network unreachable";
        case net::Report::Prohibited: return "ICMP administratively prohibited";
        case net::Report::TimeExceeded: return "ICMP time exceeded";
        case net::Report::Other: break;
    }
    return "ICMP type " + std::to_string(report.type) + ", code " + std::to_string(report.code);
}

std::string systemError(int code) { return net::errorText(code); }

std::string dotted(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}
