// The codec on the walk's hot path: encoding the GetNextRequest and decoding
// the GetResponse of one ARP entry.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "snmp/decoder.h"
#include "snmp/message.h"

namespace {

const std::uint8_t kResponse[52] = {
    0x30, 0x32, 0x02, 0x01, 0x00, 0x04, 0x06, 0x70, 0x75, 0x62, 0x6C, 0x69, 0x63, 0xA2, 0x25, 0x02, 0x01, 0x7B,
    0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x1A, 0x30, 0x18, 0x06, 0x0E, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x04,
    0x16, 0x01, 0x02, 0x01, 0x0A, 0x00, 0x00, 0x01, 0x04, 0x06, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

void encodeRequest(benchmark::State& state) {
    SnmpMessage request(0xA1, 0);
    request.setCommunity("public");
    request.setRequestId(123);
    request.addVarbind(new SnmpVarbind(new SnmpOid("1.3.6.1.2.1.4.22.1.2"), nullptr));
    for (auto _ : state) {
        // As the transport sends: a buffer of exactly the encoded length.
        const std::int32_t length = request.encodedLength();
        std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[static_cast<std::size_t>(length)]);
        std::uint8_t* cursor = buffer.get();
        request.encode(cursor);
        benchmark::DoNotOptimize(buffer.get());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(encodeRequest);

void decodeResponse(benchmark::State& state) {
    for (auto _ : state) {
        SnmpMessageDecoder decoder(kResponse, sizeof kResponse);
        std::unique_ptr<SnmpMessage> message(decoder.release());
        benchmark::DoNotOptimize(message.get());
    }
}
BENCHMARK(decodeResponse);

void decodeAndReadRow(benchmark::State& state) {
    // What the walk reads of each reply: request-id, error-status, name and value.
    for (auto _ : state) {
        SnmpMessageDecoder decoder(kResponse, sizeof kResponse);
        std::unique_ptr<SnmpMessage> message(decoder.release());
        benchmark::DoNotOptimize(message->requestId());
        benchmark::DoNotOptimize(message->errorStatus());
        benchmark::DoNotOptimize(message->varbindName(1));
    }
}
BENCHMARK(decodeAndReadRow);

}  // namespace

BENCHMARK_MAIN();
