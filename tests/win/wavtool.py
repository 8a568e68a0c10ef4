#!/usr/bin/env python3
"""WAV files for comparing the Windows build's renders with the Linux build's.

  wavtool.py make OUT.wav RATE SECONDS [BITS]   a stereo test signal, 32-bit float
                                               (or 16- or 24-bit integer)
  wavtool.py maxdiff A.wav B.wav               the largest absolute sample difference
  wavtool.py damaged OUT.wav KIND              a damaged WAV file: junk-back (a chunk
                                               size that a 32-bit long makes -8),
                                               junk-wrap (a size whose padding wraps
                                               to 0), cut (a data chunk claiming 8 s
                                               in a file of 100 kB)

The test signal drives both stages of the plug-in: drum-like bursts up to
-1 dBFS every 250 ms over a bass tone, a quieter passage at -40 dBFS for the
release, different in the two channels so that mid/side and unlinked modes
see different signals. It is the same on every run.
"""
import math
import struct
import sys
from array import array

WAVE_FORMAT_PCM = 1
WAVE_FORMAT_IEEE_FLOAT = 3
WAVE_FORMAT_EXTENSIBLE = 0xFFFE


def make(path, rate, seconds, bits=32):
    frames = int(rate * seconds)
    seed = 12345
    data = array("f")
    for n in range(frames):
        t = n / rate
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        noise = seed / 0x7FFFFFFF * 2.0 - 1.0
        beat = (t % 0.25) / 0.25
        burst = math.exp(-beat * 18.0)
        quiet = 0.01 if 2.0 <= t % 4.0 < 2.75 else 1.0
        bass = 0.35 * math.sin(2 * math.pi * 55.0 * t)
        left = quiet * (bass + 0.55 * burst * math.sin(2 * math.pi * 180.0 * t) + 0.12 * burst * noise)
        right = quiet * (0.6 * bass + 0.4 * burst * math.sin(2 * math.pi * 2400.0 * t)
                         + 0.2 * math.sin(2 * math.pi * 330.0 * t))
        data.append(left)
        data.append(right)
    if bits == 32:
        body = data.tobytes() if sys.byteorder == "little" else _swapped(data)
        fmt = struct.pack("<HHIIHH", WAVE_FORMAT_IEEE_FLOAT, 2, rate, rate * 8, 8, 32)
        chunks = (b"fmt " + struct.pack("<I", len(fmt)) + fmt
                  + b"fact" + struct.pack("<II", 4, frames)
                  + b"data" + struct.pack("<I", len(body)) + body)
    else:
        top = 1 << (bits - 1)
        ints = [max(-top, min(top - 1, round(x * top))) for x in data]
        body = b"".join(v.to_bytes(bits // 8, "little", signed=True) for v in ints)
        align = 2 * bits // 8
        fmt = struct.pack("<HHIIHH", WAVE_FORMAT_PCM, 2, rate, rate * align, align, bits)
        chunks = (b"fmt " + struct.pack("<I", len(fmt)) + fmt
                  + b"data" + struct.pack("<I", len(body)) + body)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks)


def damaged(path, kind):
    fmt = struct.pack("<HHIIHH", WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16)
    head = b"fmt " + struct.pack("<I", len(fmt)) + fmt
    if kind == "junk-back":
        chunks = head + b"JUNK" + struct.pack("<I", 0xFFFFFFF8) + b"data" + struct.pack("<I", 8) + bytes(8)
    elif kind == "junk-wrap":
        chunks = (head + b"JUNK" + struct.pack("<I", 0xFFFFFFFF) + bytes(8)
                  + b"data" + struct.pack("<I", 100) + bytes(100))
    elif kind == "cut":
        chunks = head + b"data" + struct.pack("<I", 8 * 176400) + bytes([1]) * 100000
    else:
        raise SystemExit(f"no such damage: {kind}")
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks)


def _swapped(data):
    copy = array("f", data)
    copy.byteswap()
    return copy.tobytes()


def read(path):
    """(rate, channels, samples) of a 32-bit float WAV file."""
    with open(path, "rb") as f:
        raw = f.read()
    if raw[0:4] != b"RIFF" or raw[8:12] != b"WAVE":
        raise SystemExit(f"{path}: not a WAV file")
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(raw):
        cid, size = raw[pos:pos + 4], struct.unpack("<I", raw[pos + 4:pos + 8])[0]
        body = raw[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            tag, channels, rate, _, _, bits = struct.unpack("<HHIIHH", body[:16])
            if tag == WAVE_FORMAT_EXTENSIBLE:
                tag = struct.unpack("<H", body[24:26])[0]
            if tag != WAVE_FORMAT_IEEE_FLOAT or bits != 32:
                raise SystemExit(f"{path}: not 32-bit float (format {tag}, {bits} bits)")
            fmt = (rate, channels)
        elif cid == b"data":
            samples = array("f")
            samples.frombytes(body[:len(body) // 4 * 4])
            if sys.byteorder != "little":
                samples.byteswap()
        pos += 8 + size + (size & 1)
    if fmt is None or samples is None:
        raise SystemExit(f"{path}: no fmt or data chunk")
    return fmt[0], fmt[1], samples


def maxdiff(a_path, b_path):
    ra, ca, a = read(a_path)
    rb, cb, b = read(b_path)
    if (ra, ca, len(a)) != (rb, cb, len(b)):
        raise SystemExit(f"{a_path} and {b_path} differ in rate, channels or length: "
                         f"{(ra, ca, len(a))} against {(rb, cb, len(b))}")
    worst, where, peak = 0.0, 0, 0.0
    for i, (x, y) in enumerate(zip(a, b)):
        if not (math.isfinite(x) and math.isfinite(y)):
            raise SystemExit(f"sample {i}: not a finite number ({x}, {y})")
        d = abs(x - y)
        if d > worst:
            worst, where = d, i
        peak = max(peak, abs(x))
    # The difference, then where it is and how loud the output was.
    print(f"{worst:.3e} frame={where // ca} channel={where % ca} peak={peak:.3f}")


def main(argv):
    if len(argv) in (5, 6) and argv[1] == "make":
        make(argv[2], int(argv[3]), float(argv[4]), int(argv[5]) if len(argv) == 6 else 32)
    elif len(argv) == 4 and argv[1] == "damaged":
        damaged(argv[2], argv[3])
    elif len(argv) == 4 and argv[1] == "maxdiff":
        maxdiff(argv[2], argv[3])
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
