// What the tests' VST3 and CLAP render tools (tests/vst3/render.cpp,
// tests/clap/kvb_clap_render.cpp) share: an audio file through a stereo
// processor block by block, written lined up as kvb render writes it. Output
// frame n belongs to input frame n: the first `delay` outputs (the plug-in's
// latency) are dropped and as many frames of silence follow the input. A
// mono input feeds both channels; the outputs go back in the input's layout.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "host/AudioFile.h"

namespace kvbtest {

enum class RenderEnd { Done, ReadFailed, ProcessFailed, WriteFailed };

// process(ins, outs, frames) runs one block of both channels and answers
// whether it could; the reader's and the writer's error() say the rest.
template <class Process>
RenderEnd renderAligned(kvbhost::AudioReader& in, kvbhost::AudioWriter& out, int channels, std::int64_t block,
                        std::int64_t delay, Process process) {
    const auto n = static_cast<std::size_t>(block);
    std::vector<float> interleaved(n * static_cast<std::size_t>(channels)), inL(n), inR(n), outL(n), outR(n);
    const float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    std::int64_t toDrop = delay, silenceLeft = delay;
    for (;;) {
        std::int64_t got = in.read(interleaved.data(), block);
        if (got <= 0) {
            if (!in.error().empty()) return RenderEnd::ReadFailed;
            if (silenceLeft == 0) return RenderEnd::Done;
            got = std::min(silenceLeft, block);
            silenceLeft -= got;
            std::fill_n(interleaved.data(), got * channels, 0.0f);
        }
        for (std::int64_t i = 0; i < got; ++i) {
            inL[static_cast<std::size_t>(i)] = interleaved[static_cast<std::size_t>(i * channels)];
            inR[static_cast<std::size_t>(i)] = interleaved[static_cast<std::size_t>(i * channels + channels - 1)];
        }
        if (!process(ins, outs, got)) return RenderEnd::ProcessFailed;
        const std::int64_t skip = std::min(toDrop, got);
        toDrop -= skip;
        for (std::int64_t i = skip; i < got; ++i)
            for (int c = 0; c < channels; ++c)
                interleaved[static_cast<std::size_t>((i - skip) * channels + c)] =
                    (c == 0 ? outL : outR)[static_cast<std::size_t>(i)];
        if (got > skip && !out.write(interleaved.data(), got - skip)) return RenderEnd::WriteFailed;
    }
}

}  // namespace kvbtest
