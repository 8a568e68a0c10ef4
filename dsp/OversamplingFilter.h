// The eighth-order elliptic low-pass used for four-times interpolation and
// decimation: pass band to 0.125 of its running rate with 0.2 dB ripple (gain
// 0.97724 at DC), about 80 dB of stop band from 0.17 upward. Its coefficients
// are fixed relative to the rate it runs at.
#pragma once

#include "dsp/ChannelPair.h"

namespace osfilter {
constexpr double b0 = 0.0009299485744557448;  // = b8
constexpr double b1 = -0.0005963771470845989;  // = b7
constexpr double b2 = 0.0021558519693529042;  // = b6
constexpr double b3 = -0.00032439428080902673;  // = b5
constexpr double b4 = 0.002212865925739661;
constexpr double a1 = -5.656637056885854;
constexpr double a2 = 15.062767858021267;
constexpr double a3 = -24.34426429388965;
constexpr double a4 = 25.960777935931524;
constexpr double a5 = -18.640485138934647;
constexpr double a6 = 8.786408973372891;
constexpr double a7 = -2.4853152115302946;
constexpr double a8 = 0.32344226235422624;

// Zero-stuffing leaves a quarter of the level; the stages see the
// interpolated signal times this, and the decimated result is scaled back.
constexpr float kInterpolationGain = 3.408463f;
constexpr float kDecimationGain = 1.125116f;
}  // namespace osfilter

// The filter on lanes of any width: F the float lanes of its inputs and
// outputs, D the double lanes of its sums (F2 and D2 for both channels of one
// filter; F4 and D4 for both channels of two filters side by side, as the
// chain runs the interpolator and the decimator). Inputs and outputs are
// floats; the output histories are kept as doubles, which they hold exactly.
template <class F, class D>
struct FilterLanes {
    // Newest first: x[m] and y[m] are the input and the output m + 1 steps back.
    F x[8];
    D y[8];

    FilterLanes() {
        for (int m = 0; m < 8; ++m) {
            x[m] = F{};
            y[m] = D{};
        }
    }

    // The latest output of a lane.
    float output(int lane) const {
        alignas(16) float v[4] = {};
        storeLanes(v, narrow(y[0]));
        return v[lane];
    }

    // One step on input in with guard offset g (in every lane of D): g − a1·y1
    // − … − a8·y8 + b0·(x0 + x8) + … + b4·x4, summed in double in this order,
    // each symmetric input pair added in single precision first, and rounded
    // once to single precision. Answers the output.
    //
    // Zero names the inputs that are zero in every lane (bit m: x m steps
    // back, m from 0 to 8, the current input being m = 0): their terms are
    // left out, which changes nothing. The sum starts at the non-zero guard
    // offset, so it can become +0 but never -0, and adding a zero of either
    // sign to it gives it back exactly; a pair with one zero is its other
    // value exactly.
    template <unsigned Zero = 0>
    KVB_ALWAYS_INLINE F step(F in, const D& g) {
        using namespace osfilter;
        using Sums = DoubleLanes<D>;
        D acc = g;
        const double a[8] = {a1, a2, a3, a4, a5, a6, a7, a8};
        for (int m = 0; m < 8; ++m) acc = acc - Sums::splat(a[m]) * y[m];
        // The input m steps back: in, or x[m - 1].
        auto input = [&](int m) { return m == 0 ? in : x[m - 1]; };
        const double b[5] = {b0, b1, b2, b3, b4};
        for (int m = 0; m < 4; ++m) {
            const bool zeroNew = (Zero >> m) & 1u, zeroOld = (Zero >> (8 - m)) & 1u;
            if (zeroNew && zeroOld) continue;
            const F pair = zeroNew ? input(8 - m) : (zeroOld ? input(m) : input(m) + input(8 - m));
            acc = acc + Sums::splat(b[m]) * Sums::widen(pair);
        }
        if (!((Zero >> 4) & 1u)) acc = acc + Sums::splat(b[4]) * Sums::widen(input(4));
        const F out = narrow(acc);
        for (int m = 7; m > 0; --m) {
            x[m] = x[m - 1];
            y[m] = y[m - 1];
        }
        x[0] = in;
        y[0] = Sums::widen(out);
        return out;
    }

private:
    static void storeLanes(float* to, F2 v) { storePair(to, v); }
    static void storeLanes(float* to, F4 v) { store4(to, v); }
};

// One filter for both channels: the interpolator's and the decimator's state.
using OversamplingFilter = FilterLanes<F2, D2>;

// Which inputs of the interpolator are zero at step P of a frame (0 to 3):
// zero-stuffed, it takes the frame's input at step 0 and zeros at steps 1 to
// 3, so of x0 ... x8 only those P, P + 4 and P + 8 steps back are not zero.
template <int P>
constexpr unsigned kStuffedZeros = 0x1ffu & ~((1u << P) | (1u << (P + 4)) | (P == 0 ? 1u << 8 : 0u));
