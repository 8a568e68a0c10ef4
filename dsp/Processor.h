// The signal processor of one effect instance: the whole state of the chain
// and the per-block processing.
//
// Per input sample: input forming (left/right or sum/difference), four-times
// interpolation, four oversampled steps of the Opt and Dis stages feeding the
// decimation filter, the DC blocker, meter publication, the transformer stage
// and output forming; Processor.cpp shows one sample's road through the
// functions that do it. The settings are derived from the parameters at the
// start of a block when a value or the rate has changed since they were last
// derived; all state carries over from block to block and returns to its
// start only in setUp and reset.
#pragma once

#include <atomic>
#include <memory>


#include "dsp/BlockSettings.h"
#include "dsp/DcBlocker.h"
#include "dsp/DisStage.h"
#include "dsp/NoiseGenerator.h"
#include "dsp/OptStage.h"
#include "dsp/OversamplingFilter.h"
#include "dsp/QS_Peaking_1.h"
#include "dsp/TransformerStage.h"

// The chain's AVX forms need GCC's per-function instruction sets (the target
// attribute, with flatten compiling everything a form calls into it; clang
// does not inline across them alike) on x86-64 with SSE2 lanes. MinGW's GCC
// does not align the stack for spilled 32-byte registers, so Windows builds
// keep the portable form.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(_WIN32) && KVB_SSE2_LANES
#define KVB_HAVE_AVX2_ROUNDS 1
#else
#define KVB_HAVE_AVX2_ROUNDS 0
#endif

// Everything the per-sample chain carries from one sample to the next, apart
// from the side-chain sections' histories. Every stage holds both channels.
struct ChainState {
    // The guard offset of the recursive sums, negated four times per input
    // sample (before each interpolation step), and the input offset, negated
    // once per input sample.
    double denormalOffset = 1.0000000195414814e-24;  // 1e-24f widened
    double inputOffset = 6.309573444801929e-06;      // 10^-5.2
    NoiseGenerator noise;
    OversamplingFilter interp;
    OversamplingFilter decim;
    OptState opt;
    DisState dis;
    DcBlocker dc;
    Transformer trafo;
};

// The meters and parameters cross threads as plain atomic floats: no locks.
static_assert(std::atomic<float>::is_always_lock_free, "atomic float must be lock-free");

class Processor {
public:
    // The chain runs in chunks of up to kChunk frames (kSteps oversampled
    // steps), several chunks in flight at once (see Processor.cpp).
    static constexpr int kChunk = 16;
    static constexpr int kSteps = 4 * kChunk;
    // The chunk length for a block of n frames: a quarter of the longest for
    // blocks of 64 frames or fewer, half for blocks under 256 frames. The
    // rounds that fill and drain the chunks in flight cost about four
    // chunks' worth whatever the block, which short chunks keep small beside
    // a short block; longer chunks leave the processor fewer loops to start.
    // The output does not depend on it.
    static constexpr int chunkFrames(int n) { return n <= 64 ? kChunk / 4 : (n < 256 ? kChunk / 2 : kChunk); }

    Processor() = default;
    ~Processor() = default;
    Processor(const Processor&) = delete;
    Processor& operator=(const Processor&) = delete;

    // Builds the three side-chain sections and sets the chain to its start
    // state. Called once, after construction.
    void setUp();
    // Puts every history and smoothing state of a set-up chain (the
    // side-chain sections' included) back to its start state and the meters
    // to rest, as setUp left them; the rate and the compiled form stay.
    // Allocates nothing. The next block derives its settings afresh.
    void reset();
    // Takes the host rate; rates that are not positive and finite, or so small
    // that 44100/rate overflows, are ignored. Nothing is recomputed here.
    void setSampleRate(float fs);
    // Audio thread: one block through the chain, reading params 0 to 25.
    // Inputs and outputs may be the same memory. Allocates nothing, locks
    // nothing. With frames <= 0 only the block set-up runs.
    void process(const std::atomic<float>* params, float** in, float** out, int frames);

    // Gain reductions in dB for the two meters, written once per sample.
    const std::atomic<float>* meterAddress(int i) const { return &meterValue[i]; }
    // Publishes two gain reductions for the meters from outside the chain
    // (the chain itself publishes once per sample): any thread.
    void publishMeters(float meter1, float meter2) {
        meterValue[0].store(meter1, std::memory_order_relaxed);
        meterValue[1].store(meter2, std::memory_order_relaxed);
    }

    // The compiled forms of the chain, all from one body (ChainRounds.h): for
    // every processor, for processors with AVX2, and the AVX2 form again with
    // AVX-512's 32 registers (fewer values kept in memory). Set-up takes the
    // widest the processor has. The bits are the same; tests run each.
    enum class Rounds { Portable, Avx2, Avx512 };
    // Runs the chain in the given form if this build and processor have it;
    // answers the form in use.
    Rounds useRounds(Rounds form);
    Rounds rounds() const { return rounds_; }

    // Read-only views for inspection.
    float rateRatio() const { return rateRatio_; }
    float osRateRatio() const { return osRateRatio_; }
    const ChainState& state() const { return chain; }
    const BlockSettings& blockSettings() const { return settings; }
    const QS_Peaking_1& section(int i) const { return *scSection[i]; }
    const PeakingSettings& sectionSettings(int i) const { return scSettings[i]; }
    // A section's output as read through the address it gave at set-up.
    float sectionOutput(int i, int channel) const { return *scOutput[i][channel]; }

private:
    template <class Form>
    friend class ChainRounds;

    void runChain(const float* in1, const float* in2, float* out1, float* out2, int frames);
    // One per compiled form, each a call of the one body.
    void runChainPortable(const float* in1, const float* in2, float* out1, float* out2, int frames);
    void runChainAvx2(const float* in1, const float* in2, float* out1, float* out2, int frames);
    void runChainAvx512(const float* in1, const float* in2, float* out1, float* out2, int frames);

    static constexpr int kSlots = 4;
    // Per oversampled step, both channels side by side in dense float arrays
    // (channel 1 at 2j, channel 2 at 2j + 1 for step j). Arrays that outlive
    // one round of the chain have a slot per chunk in flight.
    struct Scratch {
        alignas(16) float x[kSlots][2 * kSteps];
        alignas(16) float optLevel[2 * kSteps];
        alignas(16) float optOver[2 * kSteps];
        alignas(16) float reduction[2 * kSteps];
        alignas(16) float y[kSlots][2 * kSteps];
        alignas(16) float disLevel[2 * kSteps];
        alignas(16) float disOver[2 * kSteps];
        alignas(16) float disSmooth[2 * kSteps];
        alignas(16) float z[2 * kSteps];
        alignas(16) float gain[2 * kSteps];
        // Stage inputs and decimated stage outputs, one pair per frame.
        alignas(16) float stageIn[2 * kChunk];
        alignas(16) float decimated[2 * kChunk];
        // The states the meters show, after each frame's last step.
        alignas(16) float optMeter[kSlots][2 * kChunk];
        alignas(16) float disMeter[kSlots][2 * kChunk];
    };

    float rateRatio_ = 1.0f;     // 44100 / fs
    float osRateRatio_ = 0.25f;  // 44100 / (4·fs)
    std::unique_ptr<QS_Peaking_1> scSection[3];
    float scSectionIn[3][2] = {};
    const float* scOutput[3][2] = {};
    // shape stays 0.0 for all three: the six-fold widened band.
    PeakingSettings scSettings[3];
    BlockSettings settings;
    // What settings and the sections' coefficients were derived from.
    struct SettingsKey {
        float values[kProcessingParams];
        float rateRatio, osRateRatio;
    };
    SettingsKey settingsKey_ = {};
    bool settingsCurrent_ = false;
    ChainState chain;
    Scratch scratch;
    Rounds rounds_ = Rounds::Portable;
    std::atomic<float> meterValue[2] = {{0.0f}, {0.0f}};
};
