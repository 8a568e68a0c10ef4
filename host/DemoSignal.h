// A built-in stereo test signal: drum-like hits, a bass line and a sustained
// chord at 96 BPM. Deterministic: the same frames come out on every run.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kvbhost {

// Seconds of the demo's signal.
constexpr double kDemoSeconds = 24.0;

// Renders frames [0, frames) of the signal at sampleRate. The pattern repeats
// every four bars, so any length can be asked for.
void renderDemoSignal(float sampleRate, std::size_t frames, float* left, float* right);

// The settings kvb demo renders with (NAME=VALUE, as --set takes them).
const std::vector<std::string>& demoSettings();

}  // namespace kvbhost
