#!/usr/bin/env python3
"""Writes dsp/math/MathTables.h: the tables, splittings and polynomial
coefficients of the correctly rounded float functions.

Run once after changing a parameter below (needs python3-mpmath):
    python3 dsp/math/gen_tables.py > dsp/math/MathTables.h

Everything is computed at 600 bits. Polynomials are minimax fits of the
relative error (Remez exchange), rounded to double; the error printed beside
each is the maximum relative error of the *rounded* polynomial, measured on
a dense grid over the interval at full precision.
"""
import sys
from mpmath import mp, mpf, log, exp, sin, cos, pi, sqrt, floor, ldexp, matrix, lu_solve, nint

mp.prec = 600

# ----------------------------------------------------------------- helpers


def rnd(x, bits=53):
    """x rounded to nearest (ties to even) to `bits` significant bits."""
    x = mpf(x)
    if x == 0:
        return mpf(0)
    m, e = mp.frexp(x)            # x = m * 2^e, 0.5 <= |m| < 1
    scaled = ldexp(m, bits)      # |scaled| in [2^(bits-1), 2^bits)
    i = int(floor(scaled))
    frac = scaled - i
    if frac > 0.5 or (frac == 0.5 and i % 2 == 1):
        i += 1
    return ldexp(mpf(i), e - bits)


def dbl(x):
    return float(rnd(x, 53))


def hexd(x):
    """A double as a C++ hexadecimal floating literal (exact)."""
    v = float(x)
    assert mpf(v) == mpf(x), "not a double"
    return v.hex()


def dd(x):
    """x as an unevaluated sum hi + lo of two doubles."""
    hi = rnd(x)
    lo = rnd(x - hi)
    return hi, lo


def float_rn(x):
    """Correctly rounded binary32 value of x (normal or subnormal), as mpf or inf."""
    x = mpf(x)
    if x == 0:
        return mpf(0)
    s = -1 if x < 0 else 1
    a = abs(x)
    m, e = mp.frexp(a)           # a = m 2^e
    # binary32: 24 bits, minimum exponent of the last bit 2^-149
    lsb = max(e - 24, -149)
    q = a / ldexp(mpf(1), lsb)
    i = int(floor(q))
    frac = q - i
    if frac > 0.5 or (frac == 0.5 and i % 2 == 1):
        i += 1
    v = ldexp(mpf(i), lsb)
    if v >= ldexp(mpf(1), 128):
        return s * mp.inf
    return s * v


def float_bits(v):
    import struct
    return struct.unpack('<I', struct.pack('<f', float(v)))[0]


def double_bits(v):
    import struct
    return struct.unpack('<Q', struct.pack('<d', float(v)))[0]


def float_from_bits(b):
    import struct
    return mpf(struct.unpack('<f', struct.pack('<I', b))[0])


def log2_abs(x):
    x = abs(mpf(x))
    return float(log(x, 2)) if x != 0 else float('-inf')


# ----------------------------------------------------------------- Remez


def remez(g, w, basis, a, b, iters=40, grid=4000):
    """Coefficients c minimising max over [a,b] of |w(x) (g(x) - sum c_i basis_i(x))|."""
    n = len(basis)
    # Chebyshev extrema as the first reference.
    xs = [(a + b) / 2 - (b - a) / 2 * cos(pi * k / n) for k in range(n + 1)]
    pts = [a + (b - a) * (1 - cos(pi * (i + mpf(0.5)) / grid)) / 2 for i in range(grid)]
    pts = [a] + pts + [b]
    best = None
    for _ in range(iters):
        A = matrix(n + 1, n + 1)
        rhs = matrix(n + 1, 1)
        for k, x in enumerate(xs):
            for i, f in enumerate(basis):
                A[k, i] = f(x)
            A[k, n] = (-1) ** k / w(x)
            rhs[k] = g(x)
        sol = lu_solve(A, rhs)
        c = [sol[i] for i in range(n)]
        err = lambda x: w(x) * (g(x) - sum(ci * f(x) for ci, f in zip(c, basis)))
        vals = [err(x) for x in pts]
        # Local extrema of alternating sign, one per sign run.
        runs = []
        for x, v in zip(pts, vals):
            s = v >= 0
            if runs and runs[-1][0] == s:
                if abs(v) > abs(runs[-1][2]):
                    runs[-1] = (s, x, v)
            else:
                runs.append((s, x, v))
        while len(runs) > n + 1:
            # Drop the smaller end.
            if abs(runs[0][2]) < abs(runs[-1][2]):
                runs.pop(0)
            else:
                runs.pop()
        emax = max(abs(v) for v in vals)
        best = (c, emax)
        if len(runs) < n + 1:
            break
        xs = [r[1] for r in runs]
        emin = min(abs(r[2]) for r in runs)
        if emin > 0 and emax / emin < 1 + mpf(2) ** -20:
            break
    return best[0]


def max_rel_error(approx, exact, a, b, grid=20000):
    worst = mpf(0)
    for i in range(grid + 1):
        x = a + (b - a) * i / grid
        e = exact(x)
        if e == 0:
            continue
        worst = max(worst, abs((approx(x) - e) / e))
    return worst


def horner(coefs, x):
    acc = mpf(0)
    for c in reversed(coefs):
        acc = acc * x + c
    return acc


out = []
emit = out.append


def emit_array(ctype, name, values, per_line=2, comment=None):
    if comment:
        emit("// " + comment)
    emit("inline constexpr %s %s[%d] = {" % (ctype, name, len(values)))
    line = []
    for v in values:
        line.append(v)
        if len(line) == per_line:
            emit("    " + ", ".join(line) + ",")
            line = []
    if line:
        emit("    " + ", ".join(line) + ",")
    emit("};")


# ----------------------------------------------------------------- exp, exp10
EXP_N = 64          # table entries 2^(j/64)
EXP_DEG = 5         # p(r) = 1 + c1 r + ... + c5 r^5 ~ 2^(r/64)

ln2 = log(2)
ln10 = log(10)


def split3(c, bits=29):
    hi = rnd(c, bits)
    mid = rnd(c - hi, bits)
    lo = rnd(c - hi - mid)
    return hi, mid, lo


c_exp = EXP_N / ln2
c_exp10 = EXP_N * log(10, 2)
exp_hi, exp_mid, exp_lo = split3(c_exp)
e10_hi, e10_mid, e10_lo = split3(c_exp10)
# The fast path uses hi and RN(mid + lo).
exp_lo1 = rnd(c_exp - exp_hi)
e10_lo1 = rnd(c_exp10 - e10_hi)

# r = z - k with |r| <= 1/2 plus the rounding of x * lo (|x| <= 104, so
# |x lo| <= 104 * 2^-24 * c); allow 2^-12 beyond 1/2.
R_EXP = mpf(0.5) + mpf(2) ** -12


def g_exp(r):
    if r == 0:
        return ln2 / EXP_N
    return (exp(r * ln2 / EXP_N) - 1) / r


def w_exp(r):
    if r == 0:
        return 1 / mpf(1)
    return abs(r) / exp(r * ln2 / EXP_N)


exp_basis = [(lambda i: (lambda r: r ** i))(i) for i in range(EXP_DEG)]
cexp = remez(g_exp, w_exp, exp_basis, -R_EXP, R_EXP)
cexp = [rnd(c) for c in cexp]
err_exp = max_rel_error(lambda r: 1 + r * horner(cexp, r), lambda r: exp(r * ln2 / EXP_N), -R_EXP, R_EXP)

exp_table = [dd(mpf(2) ** (mpf(j) / EXP_N)) for j in range(EXP_N)]

# The batch forms' lanes take one degree less (their rounding test allows for
# the larger error; what they cannot decide goes to the scalar function).
EXP_BATCH_DEG = EXP_DEG - 1
exp_batch_basis = [(lambda i: (lambda r: r ** i))(i) for i in range(EXP_BATCH_DEG)]
cexp_batch = [rnd(c) for c in remez(g_exp, w_exp, exp_batch_basis, -R_EXP, R_EXP)]
err_exp_batch = max_rel_error(lambda r: 1 + r * horner(cexp_batch, r), lambda r: exp(r * ln2 / EXP_N),
                              -R_EXP, R_EXP)

# Slow path: 2^(r/64) = exp(s), s = r ln2/64 (double-double), Taylor to s^11.
EXP_SLOW_TERMS = 12
fact = [mpf(1)]
for i in range(1, 40):
    fact.append(fact[-1] * i)
inv_fact = [dd(1 / fact[i]) for i in range(EXP_SLOW_TERMS)]

# 10^k, k = -45..38, correctly rounded (the integers are exact or hard cases).
exp10_int = []
for k in range(-45, 39):
    exp10_int.append(float_rn(mpf(10) ** k))

# ----------------------------------------------------------------- log, log10
LOG_BITS = 7                 # 128 intervals
LOG_OFF = 0x3f400000 - 0x8000  # u = bits(x) - LOG_OFF; the interval around 1 is centred on it
LOG_DEG = 6                  # p(r) = r (c0 + c1 r + ... + c5 r^5)

log_inv = []
rmin, rmax = mpf(0), mpf(0)
for j in range(1 << LOG_BITS):
    lo_bits = LOG_OFF + (j << 16)
    hi_bits = LOG_OFF + ((j + 1) << 16)
    lo = float_from_bits(lo_bits)
    hi_excl = float_from_bits(hi_bits - 1)    # the last float of the interval
    if lo <= 1 <= hi_excl:
        inv = mpf(1)
    else:
        inv = rnd(2 / (lo + float_from_bits(hi_bits)), 24)
    log_inv.append(inv)
    rmin = min(rmin, lo * inv - 1)
    rmax = max(rmax, hi_excl * inv - 1)
assert log_inv.count(mpf(1)) == 1
LOG_CENTRE = log_inv.index(mpf(1))
log_t = [dd(-log(v)) for v in log_inv]
log10_t = [dd(-log(v) / ln10) for v in log_inv]


def g_log(r, scale):
    if r == 0:
        return 1 / scale
    return log(1 + r) / r / scale


def w_log(r):
    if r == 0:
        return mpf(1)
    return r / log(1 + r)


log_basis = [(lambda i: (lambda r: r ** i))(i) for i in range(LOG_DEG)]
clog = remez(lambda r: g_log(r, 1), w_log, log_basis, rmin, rmax)
clog = [rnd(c) for c in clog]
clog10 = remez(lambda r: g_log(r, ln10), w_log, log_basis, rmin, rmax)
clog10 = [rnd(c) for c in clog10]
err_log = max_rel_error(lambda r: r * horner(clog, r), lambda r: log(1 + r), rmin, rmax)
err_log10 = max_rel_error(lambda r: r * horner(clog10, r), lambda r: log(1 + r) / ln10, rmin, rmax)
LOG_BATCH_DEG = LOG_DEG - 1
log_batch_basis = [(lambda i: (lambda r: r ** i))(i) for i in range(LOG_BATCH_DEG)]
clog10_batch = [rnd(c) for c in remez(lambda r: g_log(r, ln10), w_log, log_batch_basis, rmin, rmax)]
err_log10_batch = max_rel_error(lambda r: r * horner(clog10_batch, r), lambda r: log(1 + r) / ln10,
                                rmin, rmax)

# e ln2 with |e| <= 150 (8 bits): 45-bit pieces make e * piece exact.
ln2_1 = rnd(ln2, 45)
ln2_2 = rnd(ln2 - ln2_1, 45)
ln2_3 = rnd(ln2 - ln2_1 - ln2_2)
log10_2 = dd(log(2) / ln10)
lg2_1 = rnd(log(2) / ln10, 45)
lg2_2 = rnd(log(2) / ln10 - lg2_1)
inv_ln10 = dd(1 / ln10)
# Slow path: log1p(r), |r| <= 2^-8, by its series to r^15 (error < 2^-120 |r|).
LOG_SLOW_TERMS = 15
log_series = [dd(mpf((-1) ** (n + 1)) / n) for n in range(1, LOG_SLOW_TERMS + 1)]

# ----------------------------------------------------------------- cos, tan
pio2 = pi / 2
# Cody-Waite: |x| < 2^20, so k < 2^20 and 33-bit pieces make k * piece exact.
pio2_1 = rnd(pio2, 33)
pio2_2 = rnd(pio2 - pio2_1, 33)
pio2_3 = rnd(pio2 - pio2_1 - pio2_2)
pio2_dd = dd(pio2)
inv_pio2 = rnd(2 / pi)
# 2/pi in binary, 32 bits a word, first word holding the bits of weight
# 2^-1 .. 2^-32; enough words for a 192-bit window starting at bit 104.
TWO_OVER_PI_WORDS = 10
two_over_pi_int = int(floor((2 / pi) * mpf(2) ** (32 * TWO_OVER_PI_WORDS)))
two_over_pi = [(two_over_pi_int >> (32 * (TWO_OVER_PI_WORDS - 1 - i))) & 0xffffffff
               for i in range(TWO_OVER_PI_WORDS)]

# |r| <= pi/4, plus up to 2^-32 when k comes from x * RN(2/pi) rounded (|x| < 2^20).
R_TRIG = pi / 4 + mpf(2) ** -30
T_TRIG = R_TRIG ** 2
SIN_DEG = 6   # sin r = r + r^3 (s0 + s1 t + ... + s5 t^5), t = r^2
COS_DEG = 7   # cos r = 1 + t (k0 + k1 t + ... + k6 t^6)


def sin_series_part(t):
    # (sin r - r) / r^3 with r = sqrt(t)
    if t < mpf(2) ** -60:
        return -1 / mpf(6) + t / 120
    r = sqrt(t)
    return (sin(r) - r) / (r * t)


def sin_w(t):
    if t == 0:
        return mpf(0)
    r = sqrt(t)
    return r * t / sin(r)


def cos_series_part(t):
    if t < mpf(2) ** -60:
        return -mpf(1) / 2 + t / 24
    r = sqrt(t)
    return (cos(r) - 1) / t


def cos_w(t):
    r = sqrt(t)
    return t / cos(r)


tb_sin = [(lambda i: (lambda t: t ** i))(i) for i in range(SIN_DEG)]
tb_cos = [(lambda i: (lambda t: t ** i))(i) for i in range(COS_DEG)]
lo_t = mpf(2) ** -80
csin = [rnd(c) for c in remez(sin_series_part, lambda t: sin_w(t) if t > 0 else mpf(2) ** -120,
                              tb_sin, lo_t, T_TRIG)]
ccos = [rnd(c) for c in remez(cos_series_part, cos_w, tb_cos, lo_t, T_TRIG)]
err_sin = max_rel_error(lambda r: r + r ** 3 * horner(csin, r * r), sin, mpf(2) ** -30, R_TRIG)
err_cos = max_rel_error(lambda r: 1 + r * r * horner(ccos, r * r), cos, mpf(0), R_TRIG)
# Slow path: Taylor series in double-double to r^27 / r^28.
TRIG_SLOW_TERMS = 14
sin_slow = [dd(mpf((-1) ** i) / fact[2 * i + 1]) for i in range(TRIG_SLOW_TERMS)]
cos_slow = [dd(mpf((-1) ** i) / fact[2 * i]) for i in range(TRIG_SLOW_TERMS + 1)]

# ----------------------------------------------------------------- output
emit("// Generated by dsp/math/gen_tables.py; do not edit.")
emit("// Tables, constant splittings and polynomial coefficients of the correctly")
emit("// rounded float functions. Polynomials are minimax (relative error) fits")
emit("// rounded to double; each error given is that of the rounded polynomial.")
emit("#pragma once")
emit("")
emit("#include <cstdint>")
emit("")
emit("namespace crm::tables {")
emit("")
emit("// ---- exp and exp10: x c = k + r, k = 64 m + j, f(x) = 2^m 2^(j/64) 2^(r/64)")
emit("inline constexpr int kExpBits = %d;" % (EXP_N.bit_length() - 1))
emit("// 64/ln2 and 64 log2(10) in 29-bit pieces (x * piece is exact for a float x),")
emit("// and the rest rounded to double after the first piece.")
for name, parts, lo1 in (("Exp", (exp_hi, exp_mid, exp_lo), exp_lo1),
                          ("Exp10", (e10_hi, e10_mid, e10_lo), e10_lo1)):
    emit("inline constexpr double k%sC1 = %s;" % (name, hexd(parts[0])))
    emit("inline constexpr double k%sC2 = %s;" % (name, hexd(parts[1])))
    emit("inline constexpr double k%sC3 = %s;" % (name, hexd(parts[2])))
    emit("inline constexpr double k%sCRest = %s;  // RN(c - C1)" % (name, hexd(lo1)))
emit("// 2^(r/64) ~ 1 + r (c[0] + c[1] r + ... + c[%d] r^%d), |r| <= 1/2 + 2^-12:" % (EXP_DEG - 1, EXP_DEG - 1))
emit("// relative error %.3g = 2^%.2f." % (float(err_exp), log2_abs(err_exp)))
emit_array("double", "kExpPoly", [hexd(c) for c in cexp], 2)
emit("// The batch forms: 2^(r/64) ~ 1 + r (c[0] + ... + c[%d] r^%d), relative error %.3g = 2^%.2f." %
     (EXP_BATCH_DEG - 1, EXP_BATCH_DEG - 1, float(err_exp_batch), log2_abs(err_exp_batch)))
emit_array("double", "kExpPolyBatch", [hexd(c) for c in cexp_batch], 2)
emit_array("double", "kExp2Hi", [hexd(t[0]) for t in exp_table], 2, "2^(j/64), rounded to nearest")
emit_array("double", "kExp2Lo", [hexd(t[1]) for t in exp_table], 2, "2^(j/64) - kExp2Hi[j], rounded")
emit("// ln2/64 as a double-double; 1/n! as double-doubles, n = 0..%d." % (EXP_SLOW_TERMS - 1))
ln2_64 = dd(ln2 / EXP_N)
emit("inline constexpr double kLn2Over64Hi = %s, kLn2Over64Lo = %s;" % (hexd(ln2_64[0]), hexd(ln2_64[1])))
emit_array("double", "kInvFactHi", [hexd(t[0]) for t in inv_fact], 2)
emit_array("double", "kInvFactLo", [hexd(t[1]) for t in inv_fact], 2)
emit("// 10^k for k = -45..38, correctly rounded to float (as bits).")
emit_array("std::uint32_t", "kExp10Int", ["0x%08x" % float_bits(v) for v in exp10_int], 6)
emit("")
emit("// ---- log and log10: x = 2^e m, m in [0.75 - 2^-9, 1.5 - 2^-8); r = m inv[j] - 1 exactly")
emit("inline constexpr std::uint32_t kLogOffset = 0x%08x;" % LOG_OFF)
emit("inline constexpr int kLogBits = %d;" % LOG_BITS)
emit("inline constexpr int kLogCentre = %d;  // the interval holding 1: inv = 1, log = 0" % LOG_CENTRE)
emit("// |r| over all intervals: %.6g (2^%.3f) below, %.6g (2^%.3f) above." %
     (float(rmin), log2_abs(rmin), float(rmax), log2_abs(rmax)))
emit("inline constexpr double kLogRMin = %s, kLogRMax = %s;" % (hexd(rnd(rmin)), hexd(rnd(rmax))))
emit("// log1p(r) ~ r (c[0] + c[1] r + ... + c[%d] r^%d): relative error %.3g = 2^%.2f." %
     (LOG_DEG - 1, LOG_DEG - 1, float(err_log), log2_abs(err_log)))
emit_array("double", "kLogPoly", [hexd(c) for c in clog], 2)
emit("// log10(1 + r) ~ r (c[0] + ... + c[%d] r^%d): relative error %.3g = 2^%.2f." %
     (LOG_DEG - 1, LOG_DEG - 1, float(err_log10), log2_abs(err_log10)))
emit_array("double", "kLog10Poly", [hexd(c) for c in clog10], 2)
emit("// The batch forms: log10(1 + r) ~ r (c[0] + ... + c[%d] r^%d): relative error %.3g = 2^%.2f." %
     (LOG_BATCH_DEG - 1, LOG_BATCH_DEG - 1, float(err_log10_batch), log2_abs(err_log10_batch)))
emit_array("double", "kLog10PolyBatch", [hexd(c) for c in clog10_batch], 2)
emit("// Per interval j: {inv (24 bits), -log(inv) rounded}, then -log10(inv).")
emit("struct alignas(16) InvLog { double inv, logv; };")
emit("inline constexpr InvLog kLogTable[%d] = {" % len(log_inv))
for inv, t in zip(log_inv, log_t):
    emit("    {%s, %s}," % (hexd(inv), hexd(t[0])))
emit("};")
emit("inline constexpr InvLog kLog10Table[%d] = {" % len(log_inv))
for inv, t in zip(log_inv, log10_t):
    emit("    {%s, %s}," % (hexd(inv), hexd(t[0])))
emit("};")
emit_array("double", "kLogLo", [hexd(t[1]) for t in log_t], 2, "-log(inv) - kLogTable[j].logv")
emit("// ln2 in 45-bit pieces (e * piece exact for |e| < 256) and the rest.")
emit("inline constexpr double kLn2P1 = %s, kLn2P2 = %s, kLn2P3 = %s;" %
     (hexd(ln2_1), hexd(ln2_2), hexd(ln2_3)))
emit("inline constexpr double kLn2 = %s;" % hexd(rnd(ln2)))
emit("inline constexpr double kLog10Of2 = %s, kLog10Of2Lo = %s;" % (hexd(log10_2[0]), hexd(log10_2[1])))
emit("// log10(2) in a 45-bit piece and the rest rounded.")
emit("inline constexpr double kLog10Of2P1 = %s, kLog10Of2P2 = %s;" % (hexd(lg2_1), hexd(lg2_2)))
emit("inline constexpr double kInvLn10Hi = %s, kInvLn10Lo = %s;" % (hexd(inv_ln10[0]), hexd(inv_ln10[1])))
emit("// log1p series (-1)^(n+1)/n, n = 1..%d, as double-doubles." % LOG_SLOW_TERMS)
emit_array("double", "kLog1pSeriesHi", [hexd(t[0]) for t in log_series], 2)
emit_array("double", "kLog1pSeriesLo", [hexd(t[1]) for t in log_series], 2)
emit("")
emit("// ---- cos and tan: x = k pi/2 + r, |r| <= pi/4")
emit("inline constexpr double kInvPiOver2 = %s;" % hexd(inv_pio2))
emit("// pi/2 in 33-bit pieces (k * piece exact for k < 2^20) and the rest.")
emit("inline constexpr double kPiOver2P1 = %s, kPiOver2P2 = %s, kPiOver2P3 = %s;" %
     (hexd(pio2_1), hexd(pio2_2), hexd(pio2_3)))
emit("inline constexpr double kPiOver2Hi = %s, kPiOver2Lo = %s;" % (hexd(pio2_dd[0]), hexd(pio2_dd[1])))
emit("// 2/pi = 0.101000101111100110000011011011100100111001000100...b, 32 bits a word")
emit("// from the bit of weight 2^-1 (%d words)." % TWO_OVER_PI_WORDS)
emit_array("std::uint32_t", "kTwoOverPi", ["0x%08x" % w for w in two_over_pi], 5)
emit("// sin r ~ r + r^3 (s[0] + s[1] t + ... + s[%d] t^%d), t = r^2, |r| <= pi/4:" % (SIN_DEG - 1, SIN_DEG - 1))
emit("// relative error %.3g = 2^%.2f." % (float(err_sin), log2_abs(err_sin)))
emit_array("double", "kSinPoly", [hexd(c) for c in csin], 2)
emit("// cos r ~ 1 + t (c[0] + c[1] t + ... + c[%d] t^%d): relative error %.3g = 2^%.2f." %
     (COS_DEG - 1, COS_DEG - 1, float(err_cos), log2_abs(err_cos)))
emit_array("double", "kCosPoly", [hexd(c) for c in ccos], 2)
emit("// Taylor coefficients (-1)^i/(2i+1)! and (-1)^i/(2i)! as double-doubles.")
emit_array("double", "kSinSeriesHi", [hexd(t[0]) for t in sin_slow], 2)
emit_array("double", "kSinSeriesLo", [hexd(t[1]) for t in sin_slow], 2)
emit_array("double", "kCosSeriesHi", [hexd(t[0]) for t in cos_slow], 2)
emit_array("double", "kCosSeriesLo", [hexd(t[1]) for t in cos_slow], 2)
emit("")
emit("}  // namespace crm::tables")
print("\n".join(out))
sys.stderr.write("exp %g log %g log10 %g sin %g cos %g\n" %
                 (log2_abs(err_exp), log2_abs(err_log), log2_abs(err_log10),
                  log2_abs(err_sin), log2_abs(err_cos)))
