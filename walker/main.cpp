#include <cstdio>

#include "walker/cli.h"

int main(int argc, char** argv) {
    const int code = runTarnwick(argc, argv, stdout);
    std::fflush(stdout);
    return code;
}
