// The codec on the walk's hot path, side by side with libnetsnmp when it is
// installed: encoding the GetNextRequest and decoding the GetResponse of one
// ARP entry. Each pair is printed with its ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/codec_ops.h"

namespace {

void ourEncode(benchmark::State& state) {
    codec::OurRequest request;
    for (auto _ : state) benchmark::DoNotOptimize(request.encodeOnce());
}
BENCHMARK(ourEncode);

void ourDecode(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(codec::ourDecodeOnce());
}
BENCHMARK(ourDecode);

#ifdef TARNWICK_WITH_NETSNMP
void netSnmpEncode(benchmark::State& state) {
    codec::netSnmpInit();
    codec::NetSnmpRequest request;
    for (auto _ : state) benchmark::DoNotOptimize(request.encodeOnce());
}
BENCHMARK(netSnmpEncode);

void netSnmpDecode(benchmark::State& state) {
    codec::netSnmpInit();
    for (auto _ : state) benchmark::DoNotOptimize(codec::netSnmpDecodeOnce());
}
BENCHMARK(netSnmpDecode);
#endif

// Prints "netsnmp/ours" ratios of the mean times once the runs are done.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const char* op : {"Encode", "Decode"}) {
            const auto ours = times_.find(std::string("our") + op);
            const auto theirs = times_.find(std::string("netSnmp") + op);
            if (ours == times_.end() || theirs == times_.end() || ours->second <= 0) continue;
            std::printf("ratio %-7s libnetsnmp / tarnwick = %.1fx\n", op, theirs->second / ours->second);
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
