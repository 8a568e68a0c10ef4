#include "ReferenceChain.h"

#include <cmath>

#include "support/MpfrFloat.h"

namespace {
// The transcendental values, correctly rounded, come from MPFR: independent
// of the processing's own functions.
float scale(float c, float r) { return mpfr_float::exp(mpfr_float::log(c) * r); }
float pow10(float x) { return mpfr_float::exp10(x); }
int bands(float v) {
    if (v < 0.33f) return 0;
    if (v < 0.66f) return 1;
    return 2;
}
int sixSteps(float v) {
    float p = v * 5.5f;
    if (!(p >= 0.0f) || p >= 6.0f) return 0;
    return static_cast<int>(p);
}
float riseFall(float v, float s, float up, float down, double g) {
    float c = v > s ? up : down;
    return static_cast<float>(static_cast<double>((1.0f - c) * v) + g + static_cast<double>(c * s));
}
}  // namespace

void ReferenceChain::Section::coefficients() {
    float f = *freq * 0.899f + 0.001f;
    float w0 = static_cast<float>(static_cast<double>(f) * 3.141592653589793 * static_cast<double>(*rate));
    c = -mpfr_float::cos(w0);
    float u = (0.3f - *width * 0.29f) * 1.5f * *freq;
    float t = mpfr_float::tan(u);
    t = 6.0f * t;  // shape 0.0
    k2 = (1.0f - t) / (1.0f + t);
}

void ReferenceChain::Section::process() {
    d = d * -1.0;
    float e = (k2 + 1.0f) * c;
    const float* in[2] = {inL, inR};
    for (int ch = 0; ch < 2; ++ch) {
        float* s = h[ch];
        float x = *in[ch];
        double sum = static_cast<double>(k2 * x);
        sum = sum + d;
        sum = sum + static_cast<double>(e * s[1]);
        sum = sum + static_cast<double>(s[2]);
        float fb = e * s[4] + k2 * s[5];
        sum = sum - static_cast<double>(fb);
        float y = static_cast<float>(sum);
        s[2] = s[1];
        s[1] = x;
        s[0] = x;
        s[5] = s[4];
        s[4] = y;
        s[3] = y;
        out[ch] = y;
    }
}

float ReferenceChain::Filter::step(float in, double g) {
    static const double b[5] = {0.0009299485744557448, -0.0005963771470845989, 0.0021558519693529042,
                                -0.00032439428080902673, 0.002212865925739661};
    static const double a[9] = {1.0, -5.656637056885854, 15.062767858021267, -24.34426429388965,
                                25.960777935931524, -18.640485138934647, 8.786408973372891,
                                -2.4853152115302946, 0.32344226235422624};
    x[0] = in;
    double acc = g;
    for (int i = 1; i <= 8; ++i) acc = acc - a[i] * static_cast<double>(y[i]);
    for (int i = 0; i < 4; ++i) acc = acc + b[i] * static_cast<double>(x[i] + x[8 - i]);
    acc = acc + b[4] * static_cast<double>(x[4]);
    y[0] = static_cast<float>(acc);
    for (int i = 8; i >= 1; --i) {
        x[i] = x[i - 1];
        y[i] = y[i - 1];
    }
    return y[0];
}

ReferenceChain::ReferenceChain() {
    for (int i = 0; i < 3; ++i) {
        sec[i].inL = &secIn[i][0];
        sec[i].inR = &secIn[i][1];
        sec[i].freq = &freq[i];
        sec[i].width = &width[i];
        sec[i].rate = &osRatio;
    }
}

void ReferenceChain::setSampleRate(float fs) {
    ratio = 44100.0f / fs;
    osRatio = static_cast<float>(static_cast<double>(ratio) * 0.25);
}

void ReferenceChain::process(const float* p, const float* in1, const float* in2, float* out1,
                             float* out2, int frames) {
    // Opt mode constants.
    static const float emphUp[3] = {0.7f, 0.6f, 0.5f}, emphDn[3] = {0.3f, 0.3f, 0.2f};
    static const float up[4][3] = {{0.997f, 0.994f, 0.99f},
                                   {0.9999f, 0.9999f, 0.9999f},
                                   {0.99795f, 0.9975f, 0.997f},
                                   {0.999974f, 0.99992f, 0.9999f}};
    static const float dn[4][3] = {{0.99946f, 0.99928f, 0.996f},
                                   {0.99989f, 0.99983f, 0.9998f},
                                   {0.9998f, 0.9993f, 0.999f},
                                   {0.999974f, 0.99993f, 0.9999f}};
    static const float sec1Freq[3] = {0.125f, 0.15f, 0.15f};
    static const float detEmph[3] = {1.7f, 1.2f, 1.1f};
    static const float atkTable[6] = {0.6f, 0.9f, 0.95f, 0.99f, 0.995f, 0.998f};
    static const float rlsTable[6] = {0.9995f, 0.9998f, 0.9999f, 0.999935f, 0.999956f, 0.99997f};
    static const float ratTable[6] = {0.2f, 0.5f, 0.666f, 0.75f, 0.8f, 0.9f};
    static const float trT[3] = {0.5f, 0.7f, 0.9f};
    static const float trS[3] = {-0.3f, -0.100000024f, 0.19999999f};
    static const float trR[3] = {0.9997f, 0.9995f, 0.999f};

    int mode = bands(p[14]);
    freq[0] = 0.004535f;
    width[0] = 0.5f;
    freq[1] = sec1Freq[mode];
    width[1] = 0.1f;
    freq[2] = 0.004535f;
    width[2] = 0.7f;
    for (auto& s : sec) s.coefficients();
    float su[4], sd[4];
    for (int i = 0; i < 4; ++i) {
        su[i] = scale(up[i][mode], osRatio);
        sd[i] = scale(dn[i][mode], osRatio);
    }
    float pole = scale(0.9987f, ratio);
    float eu = scale(emphUp[mode], osRatio), ed = scale(emphDn[mode], osRatio);
    int meterMode = bands(p[15]);

    float optThrDb[2], optThr[2], optGain[2], optOn[2], disThrDb[2], disThr[2], atk[2], rls[2],
        rat[2], disGain[2], disOn[2], band[2], tT[2], tS[2], tR[2];
    for (int c = 0; c < 2; ++c) {
        int src = (p[25] > 0.5f) ? 0 : c;  // left/right: channel 2 follows channel 1
        const float* q = p + 7 * src;
        optThrDb[c] = q[0] * 50.0f - 60.0f;
        optThr[c] = pow10(optThrDb[c] * 0.05f);
        optGain[c] = q[1] * 15.0f;
        optOn[c] = p[18 + 3 * src] < 0.5f ? 1.0f : 0.0f;
        atk[c] = scale(atkTable[sixSteps(q[3])], osRatio);
        rls[c] = scale(rlsTable[sixSteps(q[5])], osRatio);
        disThrDb[c] = q[2] * 40.0f - 40.0f;
        disThr[c] = pow10(disThrDb[c] * 0.05f);
        rat[c] = ratTable[sixSteps(q[4])];
        disGain[c] = q[6] * 15.0f;
        disOn[c] = p[20 + 3 * src] < 0.5f ? 1.0f : 0.0f;
        band[c] = p[19 + 3 * src] < 0.5f ? 0.5f : 1.0f;
        int tm = bands(p[16 + src]);
        tT[c] = trT[tm];
        tS[c] = trS[tm];
        tR[c] = trR[tm];
    }

    for (int i = 0; i < frames; ++i) {
        denormal = -denormal;
        inOffset = -inOffset;
        float i1 = std::isfinite(in1[i]) ? std::fmax(-1e10f, std::fmin(1e10f, in1[i])) : 0.0f;
        float i2 = std::isfinite(in2[i]) ? std::fmax(-1e10f, std::fmin(1e10f, in2[i])) : 0.0f;
        float a[2];
        if (p[25] > 0.5f) {
            a[0] = i1;
            a[1] = i2;
        } else {
            a[0] = i2 + i1;
            a[1] = i1 - i2;
        }
        for (int c = 0; c < 2; ++c) {
            int r = 0;
            for (int k = 0; k < 3; ++k) {
                rng = rng * 214013u + 2531011u;
                r += static_cast<int>((rng >> 16) & 0x7FFF);
            }
            float noise = (static_cast<float>(r) * 3e-6f) * (1.0f / 32767.0f);
            double v = static_cast<double>(a[c]) + inOffset;
            v = v + static_cast<double>(noise);
            a[c] = static_cast<float>(v);
        }
        float upS[2][4];
        for (int c = 0; c < 2; ++c) upS[c][0] = interp[c].step(a[c], denormal);
        for (int k = 1; k < 4; ++k) {
            denormal = -denormal;
            for (int c = 0; c < 2; ++c) upS[c][k] = interp[c].step(0.0f, denormal);
        }
        const double g = denormal;
        bool independent = p[24] > 0.5f || p[25] < 0.5f;
        float dec[2] = {};
        for (int k = 0; k < 4; ++k) {
            float x[2] = {upS[0][k] * 3.408463f, upS[1][k] * 3.408463f};
            // Opt stage.
            for (int c = 0; c < 2; ++c) {
                float e = over[c] * 0.1f;
                if (e < 0.0f) e = 0.0f;
                if (e > 1.0f) e = 1.0f;
                emph[c] = riseFall(e, emph[c], eu, ed, g);
            }
            secIn[0][0] = x[0];
            secIn[0][1] = x[1];
            sec[0].process();
            float s[2];
            for (int c = 0; c < 2; ++c) {
                float A = *(c == 0 ? &sec[0].out[0] : &sec[0].out[1]);
                s[c] = ((x[c] - A) * (4.0f * emph[c] + 0.25f) + (A + x[c])) * 0.5f;
            }
            secIn[1][0] = s[0];
            secIn[1][1] = s[1];
            sec[1].process();
            for (int c = 0; c < 2; ++c) {
                float B = sec[1].out[c];
                float d = std::fabs(((s[c] - B) * detEmph[mode] + (B + s[c])) * 0.5f);
                over[c] = 0.0f;
                if (d > optThr[c]) over[c] = 20.0f * mpfr_float::log10(d) - optThrDb[c];
                s1[c] = riseFall(over[c], s1[c], su[0], sd[0], g);
                s2[c] = riseFall(s1[c], s2[c], su[1], sd[1], g);
                float u = s2[c] * 0.02f;
                float u2 = u * u, u3 = u * u2, u5 = u3 * u2, u7 = u5 * u2;
                float r = (u3 * 1.3143543f + u * 0.27918664f - u5 * 1.4910889f) * 50.0f +
                          (u7 * 0.50095296f) * 50.0f;
                s3[c] = riseFall(r, s3[c], su[2], sd[2], g);
                red[c] = riseFall(s3[c], red[c], su[3], sd[3], g);
            }
            float gg[2];
            if (independent) {
                gg[0] = (optGain[0] - red[0]) * optOn[0];
                gg[1] = (optGain[1] - red[1]) * optOn[1];
            } else {
                gg[0] = gg[1] = (optGain[0] - (red[1] + red[0]) * 0.5f) * optOn[0];
            }
            float y[2] = {x[0] * pow10(gg[0] * 0.05f), x[1] * pow10(gg[1] * 0.05f)};
            // Dis stage.
            secIn[2][0] = y[0];
            secIn[2][1] = y[1];
            sec[2].process();
            for (int c = 0; c < 2; ++c) {
                float w = sec[2].out[c];
                float sc = ((y[c] - w) * band[c] + (w + y[c])) * 0.5f;
                float L = std::fabs(sc);
                if (L <= 1.0f) {
                    float q2 = sc * sc, q4 = q2 * q2;
                    L = 2.0f * (q4 * (4.5072875f * q2 - 3.7919977f - 1.9086499f * q4) +
                                (1.6720511f * q2 + 0.015623941f));
                }
                float ov = 0.0f;
                if (L > disThr[c]) ov = 20.0f * mpfr_float::log10(L) - disThrDb[c];
                if (ov < 20.0f) {
                    float t = ov * 0.05f;
                    ov = t * t * t * 20.0f;
                }
                dis[c] = riseFall(ov, dis[c], atk[c], rls[c], g);
            }
            if (independent) {
                gg[0] = (disGain[0] - rat[0] * dis[0]) * disOn[0];
                gg[1] = (disGain[1] - rat[1] * dis[1]) * disOn[1];
            } else {
                gg[0] = gg[1] = (disGain[0] - ((dis[1] + dis[0]) * 0.5f) * rat[0]) * disOn[0];
            }
            for (int c = 0; c < 2; ++c) {
                float z = y[c] * pow10(gg[c] * 0.05f);
                dec[c] = decim[c].step(z, g);
            }
        }
        float o[2];
        for (int c = 0; c < 2; ++c) {
            float x = dec[c] * 1.125116f;
            float y = static_cast<float>(static_cast<double>(x) + g - static_cast<double>(dcX[c]) +
                                         static_cast<double>(pole * dcY[c]));
            dcX[c] = x;
            dcY[c] = y;
            o[c] = y;
        }
        if (meterMode == 0) {
            meter[0] = red[0];
            meter[1] = red[1];
        } else if (meterMode == 1) {
            meter[0] = rat[0] * dis[0];
            meter[1] = rat[1] * dis[1];
        } else {
            meter[0] = red[0];
            meter[1] = rat[0] * dis[0];
        }
        for (int c = 0; c < 2; ++c) {
            float x = o[c];
            tLevel[c] = (x + tLevel[c]) * 0.5f;
            float av = std::fabs(tLevel[c]);
            float cg = 1.0f;
            if (av > tT[c]) cg = ((av - tT[c]) * tS[c] + tT[c]) / av;
            if (cg > tGain[c])
                cg = static_cast<float>(static_cast<double>((1.0f - tR[c]) * cg) + g +
                                        static_cast<double>(tR[c] * tGain[c]));
            tGain[c] = cg;
            o[c] = x * cg;
        }
        if (p[25] > 0.5f) {
            out1[i] = o[0];
            out2[i] = o[1];
        } else {
            out1[i] = (o[1] + o[0]) * 0.5f;
            out2[i] = (o[0] - o[1]) * 0.5f;
        }
    }
}
