// Runs one codec operation a given number of times, for instruction counts
// under callgrind: the count of n runs minus the count of 0 runs, over n.
// Usage: codec_count ours-encode|ours-decode|netsnmp-encode|netsnmp-decode N
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/codec_ops.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const char* op = argv[1];
    const long n = std::atol(argv[2]);
    volatile long sink = 0;
    if (std::strcmp(op, "ours-encode") == 0) {
        codec::OurRequest request;
        for (long i = 0; i < n; ++i) sink = sink + request.encodeOnce();
    } else if (std::strcmp(op, "ours-decode") == 0) {
        for (long i = 0; i < n; ++i) sink = sink + codec::ourDecodeOnce();
#ifdef TARNWICK_WITH_NETSNMP
    } else if (std::strcmp(op, "netsnmp-encode") == 0) {
        codec::netSnmpInit();
        codec::NetSnmpRequest request;
        for (long i = 0; i < n; ++i) sink = sink + request.encodeOnce();
    } else if (std::strcmp(op, "netsnmp-decode") == 0) {
        codec::netSnmpInit();
        for (long i = 0; i < n; ++i) sink = sink + codec::netSnmpDecodeOnce();
#endif
    } else {
        return 2;
    }
    return sink == 42 ? 1 : 0;
}
