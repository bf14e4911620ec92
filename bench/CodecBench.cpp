// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Throughput of the frame checksum and the answer reassembly.
#include "protocol/AnswerAssembler.h"
#include "protocol/PacketChecksum.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

std::vector<uint8_t> randomBytes(size_t size)
{
    std::mt19937 random(1);
    std::vector<uint8_t> bytes(size);
    for (auto &b : bytes)
        b = uint8_t(random());
    return bytes;
}

void BM_PacketChecksum(benchmark::State &state)
{
    const auto bytes = randomBytes(size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(PacketChecksum(bytes.data(), bytes.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_PacketChecksum)->Arg(16)->Arg(118)->Arg(1008);

class CountingSink : public AnswerSink
{
public:
    int64_t answers = 0;
    void answerFramed(const QLMCIPPacket &) override { ++answers; }
    void frameDropped(FrameError) override {}
};

// A stream of typical polling answers (ten live registers, 56 payload bytes).
std::vector<uint8_t> answerStream(int frames)
{
    std::vector<uint8_t> payload;
    for (int reg : {0x07, 0x0C, 0x20, 0x21, 0x26, 0x28, 0x29, 0x30, 0x32}) {
        payload.push_back(uint8_t(reg));
        for (int i = 0; i < (reg == 0x20 ? 1 : 4); ++i)
            payload.push_back(uint8_t(reg + i));
    }
    std::vector<uint8_t> stream;
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t> frame{0x00,       0x23, uint8_t(f >> 8),
                                   uint8_t(f), 0,    uint8_t(payload.size())};
        frame.insert(frame.end(), payload.begin(), payload.end());
        const uint16_t cs = PacketChecksum(frame.data(), frame.size());
        frame.push_back(uint8_t(cs >> 8));
        frame.push_back(uint8_t(cs));
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    return stream;
}

void BM_AnswerAssembler(benchmark::State &state)
{
    const auto stream = answerStream(256);
    const size_t chunk = size_t(state.range(0));
    CountingSink sink;
    AnswerAssembler assembler(&sink);
    for (auto _ : state) {
        for (size_t pos = 0; pos < stream.size(); pos += chunk)
            assembler.feed(stream.data() + pos, std::min(chunk, stream.size() - pos));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
    state.counters["answers/s"] =
        benchmark::Counter(double(sink.answers), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AnswerAssembler)->Arg(1)->Arg(64)->Arg(1460)->Arg(65536);

} // namespace

BENCHMARK_MAIN();
