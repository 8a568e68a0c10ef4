#include "host/DemoSignal.h"

#include <cmath>
#include <cstdint>

namespace kvbhost {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBpm = 96.0;

// Small deterministic noise source for the snare and hats.
struct Noise {
    std::uint32_t state = 0x12345678u;
    double next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
};

double midiToHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// One bar of sixteenth steps: 'k' kick, 's' snare, 'h' hat, '.' rest.
const char kDrums[] = "k.h.s.h.k.k.s.hh";
// Bass notes per eighth over four bars (MIDI; 0 = rest).
const int kBass[32] = {36, 0, 36, 48, 0, 36, 43, 0,  41, 0, 41, 53, 0, 41, 48, 0,
                       43, 0, 43, 55, 0, 43, 50, 0,  39, 0, 39, 51, 0, 39, 46, 46};
// One chord per bar.
const int kChords[4][4] = {{60, 63, 67, 70}, {65, 68, 72, 75}, {67, 70, 74, 77}, {63, 67, 70, 74}};

}  // namespace

// Linked left/right; the Opt stage levels gently, the Dis stage catches the
// drums fast at 5:1 with 7.5 dB of make-up, so the groove comes out about
// 3 dB louder with its peaks where they were. The meters (default mode) show
// channel 1 of the Opt stage on the left and of the Dis stage on the right.
const std::vector<std::string>& demoSettings() {
    static const std::vector<std::string> settings = {
        "MSMode=1",  "StereoMode=0", "OptThr1=0.8", "OptGain1=0.1", "DisByp1=0",
        "DisThr1=0.5", "DisAtk1=0",  "DisRat1=0.8", "DisRls1=0.3",  "DisGain1=0.5",
    };
    return settings;
}

void renderDemoSignal(float sampleRate, std::size_t frames, float* left, float* right) {
    const double fs = sampleRate;
    const double step = 60.0 / kBpm / 4.0;  // a sixteenth, in seconds
    const double bar = step * 16.0;
    Noise noise;
    double bassPhase = 0.0, bassLevel = 0.0, bassCut = 0.0;
    double chordPhase[4] = {0, 0.25, 0.5, 0.75};
    double hatHp = 0.0, hatPrev = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / fs;
        const double loop = std::fmod(t, bar * 4.0);
        const int barIndex = static_cast<int>(loop / bar);
        const double inBar = loop - barIndex * bar;
        const int stepIndex = static_cast<int>(inBar / step);
        const double sinceStep = inBar - stepIndex * step;

        // Drums: the hit of the current step, decaying until the next one.
        double kick = 0.0, snare = 0.0, hat = 0.0;
        const double n = noise.next();
        switch (kDrums[stepIndex]) {
        case 'k': {
            const double f = 45.0 + 120.0 * std::exp(-sinceStep * 30.0);
            kick = std::sin(2.0 * kPi * f * sinceStep) * std::exp(-sinceStep * 9.0);
            break;
        }
        case 's':
            snare = (0.6 * n + 0.4 * std::sin(2.0 * kPi * 190.0 * sinceStep)) *
                    std::exp(-sinceStep * 18.0);
            break;
        case 'h': {
            hatHp = 0.6 * (hatHp + n - hatPrev);
            hat = hatHp * std::exp(-sinceStep * 60.0);
            break;
        }
        default: break;
        }
        hatPrev = n;

        // Bass: a saw through a one-pole low-pass, per eighth note.
        const int eighth = static_cast<int>(loop / (step * 2.0)) % 32;
        const int note = kBass[eighth];
        const double sinceEighth = std::fmod(loop, step * 2.0);
        const double target = note ? std::exp(-sinceEighth * 4.0) : 0.0;
        bassLevel += (target - bassLevel) * 0.01;
        if (note) bassPhase += midiToHz(note) / fs;
        bassPhase -= std::floor(bassPhase);
        const double saw = 2.0 * bassPhase - 1.0;
        bassCut += (saw - bassCut) * 0.08;
        const double bass = bassCut * bassLevel;

        // Chord: four detuned triangle-ish voices, swelling over each bar.
        double chordL = 0.0, chordR = 0.0;
        const double swell = 0.35 + 0.65 * std::sin(kPi * inBar / bar);
        for (int v = 0; v < 4; ++v) {
            chordPhase[v] += midiToHz(kChords[barIndex][v]) * (1.0 + 0.002 * (v - 1.5)) / fs;
            chordPhase[v] -= std::floor(chordPhase[v]);
            const double tri = 1.0 - 4.0 * std::fabs(chordPhase[v] - 0.5);
            (v % 2 ? chordR : chordL) += tri * swell;
            (v % 2 ? chordL : chordR) += 0.4 * tri * swell;
        }

        const double mono = 0.55 * kick + 0.3 * snare + 0.35 * bass;
        left[i] = static_cast<float>(mono + 0.09 * hat + 0.07 * chordL);
        right[i] = static_cast<float>(mono + 0.12 * hat + 0.07 * chordR);
    }
}

}  // namespace kvbhost
