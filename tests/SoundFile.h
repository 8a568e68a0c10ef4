// Reading a sound file whole, for the tests that check what kvb or another
// host wrote: its format and its samples as floats, interleaved. An empty
// result when the file cannot be read.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <string>
#include <vector>

struct Audio {
    SF_INFO info{};
    std::vector<float> samples;
};

inline Audio readAudio(const std::string& path) {
    Audio a;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &a.info);
    if (!f) return a;
    a.samples.resize(static_cast<std::size_t>(a.info.frames) * static_cast<std::size_t>(a.info.channels));
    sf_readf_float(f, a.samples.data(), a.info.frames);
    sf_close(f);
    return a;
}
