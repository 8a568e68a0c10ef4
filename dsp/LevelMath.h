// Levels to decibels and decibels to gains, one value at a time or over whole
// arrays. The array forms give, value for value, exactly the bits of the
// one-value forms, so the chain may take either.
#pragma once

// log10(x) and 10^x, single precision.
float log10Level(float x);
float exp10Gain(float x);

// out[i] = log10Level(in[i]) / exp10Gain(in[i]) for i < n. in and out may be
// the same array. No allocation, no locks.
void log10Array(const float* in, float* out, int n);
void exp10Array(const float* in, float* out, int n);
