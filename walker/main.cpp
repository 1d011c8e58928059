#include <cstdio>

#include "transport/sockets.h"
#include "walker/cli.h"

int main(int argc, char** argv) {
    // Ctrl-C and its kin end the walk with what was received written out.
    net::watchInterruptions();
    // runTarnwick has written and flushed everything and checked that it went out.
    return runTarnwick(argc, argv, stdout);
}
