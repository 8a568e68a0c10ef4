// libFuzzer target for kvb's WAV reader and writer (host/WavFile.cpp), which
// every build of kvb reads and writes WAV files with. Each input is the bytes
// of a file, read from memory as the reader reads a file on disk.
//
// Whatever the bytes, the reader either refuses them with a message or
// answers a reader whose promises hold: a format it takes, no more frames
// than the file holds or its header claims, every one of them delivered and
// nothing after, integer samples within full scale. What it read, written
// again in the same encoding and read back, is the same bits (the writer's
// rounding returns every integer the reader produced to itself).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/WavFile.h"

using namespace kvbhost;

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// Every frame of the file, read in blocks of an odd size.
std::vector<float> readAll(AudioReader& r) {
    const AudioInfo& info = r.info();
    std::vector<float> all, block(static_cast<std::size_t>(7) * static_cast<std::size_t>(info.channels));
    for (;;) {
        const std::int64_t got = r.read(block.data(), 7);
        check(got >= 0 && got <= 7);
        if (got == 0) break;
        all.insert(all.end(), block.begin(), block.begin() + got * info.channels);
    }
    check(r.read(block.data(), 7) == 0);
    check(r.error().empty());  // memory does not fail
    return all;
}

bool sameBits(float a, float b) {
    if (std::isnan(a) && std::isnan(b)) return true;
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;  // fmemopen takes no empty buffer
    std::vector<std::uint8_t> bytes(data, data + size);
    std::FILE* f = fmemopen(bytes.data(), bytes.size(), "rb");
    if (!f) return 0;
    WavStatus status = WavStatus::Read;
    std::string error;
    std::unique_ptr<AudioReader> r = readWav(f, status, error);
    if (!r) {
        check(status != WavStatus::Read && !error.empty());
        return 0;
    }
    const AudioInfo info = r->info();
    const int sampleBytes = bitsOf(info.encoding) / 8;
    check(sampleBytes > 0 && info.channels >= 1 && info.sampleRate >= 1);
    check(info.frames >= 0 && info.frames <= info.claimedFrames);
    check(info.frames * sampleBytes * info.channels <= static_cast<std::int64_t>(size));

    const std::vector<float> samples = readAll(*r);
    r.reset();
    check(samples.size() == static_cast<std::size_t>(info.frames * info.channels));
    // Full scale: -1 up to the largest integer, which a 32-bit one rounds to 1.
    if (!isFloat(info.encoding))
        for (float x : samples) check(x >= -1.0f && x <= 1.0f);

    // Written again and read back: the same bits. The writer may refuse what
    // its header cannot hold (a rate and frame size whose byte rate is
    // beyond 32 bits), which the reader takes.
    AudioInfo out = info;
    const std::size_t capacity = 64 + samples.size() * static_cast<std::size_t>(sampleBytes) + 1;
    std::vector<std::uint8_t> written(capacity);
    std::FILE* w = fmemopen(written.data(), written.size(), "w+b");
    if (!w) return 0;
    std::unique_ptr<AudioWriter> writer = writeWav(w, out, false, error);
    if (!writer) {
        check(static_cast<std::int64_t>(info.sampleRate) * info.channels * sampleBytes > 0xFFFFFFFFll);
        return 0;
    }
    check(writer->write(samples.data(), info.frames));
    check(writer->close());
    const std::size_t fileBytes = static_cast<std::size_t>((isFloat(info.encoding) ? 58 : 44)) +
                                  samples.size() * static_cast<std::size_t>(sampleBytes);
    std::FILE* again = fmemopen(written.data(), fileBytes + (fileBytes & 1), "rb");
    check(again != nullptr);
    std::unique_ptr<AudioReader> back = readWav(again, status, error);
    check(back != nullptr);
    check(back->info().frames == info.frames && back->info().claimedFrames == info.frames &&
          back->info().encoding == info.encoding && back->info().sampleRate == info.sampleRate &&
          back->info().channels == info.channels);
    const std::vector<float> twice = readAll(*back);
    check(twice.size() == samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) check(sameBits(twice[i], samples[i]));
    return 0;
}
