#!/usr/bin/env python3
"""Writes the seed inputs of kvb_wav_fuzz in wav-corpus/: small WAV files in
every encoding the reader takes, and the damaged kinds it must refuse or
read in part (sizes that run past the end or wrap, a cut data chunk, chunks
out of order). Inputs the fuzzer finds go to build-fuzz/wav-corpus/."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "wav-corpus")


def chunk(cid, body, size=None):
    return cid + struct.pack("<I", len(body) if size is None else size) + body


def fmt(tag, channels, rate, bits, extensible=False):
    align = channels * bits // 8
    body = struct.pack("<HHIIHH", 0xFFFE if extensible else tag, channels, rate, rate * align, align, bits)
    if extensible:
        guid_tail = b"\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71"
        body += struct.pack("<HHI", 22, bits, 3) + struct.pack("<H", tag) + guid_tail
    return chunk(b"fmt ", body)


def riff(chunks):
    return b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks


tone = bytes((i * 37) % 256 for i in range(96))
seeds = {
    "pcm8": riff(fmt(1, 1, 8000, 8) + chunk(b"data", tone[:31]) + b"\0"),
    "pcm16": riff(fmt(1, 2, 44100, 16) + chunk(b"data", tone)),
    "pcm24": riff(fmt(1, 2, 48000, 24) + chunk(b"LIST", b"INFOabc") + b"\0" + chunk(b"data", tone)),
    "pcm32": riff(fmt(1, 1, 96000, 32) + chunk(b"data", tone)),
    "float32": riff(fmt(3, 2, 44100, 32) + chunk(b"fact", struct.pack("<I", 12)) + chunk(b"data", tone)),
    "float64_ext": riff(fmt(3, 1, 22050, 64, extensible=True) + chunk(b"data", tone)),
    "junk_back": riff(fmt(1, 2, 44100, 16) + chunk(b"JUNK", b"", 0xFFFFFFF8) + chunk(b"data", bytes(8))),
    "junk_wrap": riff(fmt(1, 2, 44100, 16) + chunk(b"JUNK", bytes(8), 0xFFFFFFFF) + chunk(b"data", tone)),
    "data_cut": riff(fmt(1, 2, 44100, 16) + chunk(b"data", tone, 8 * 44100 * 4)),
    "data_first": riff(chunk(b"data", tone) + fmt(1, 2, 44100, 16)),
    "mu_law": riff(fmt(7, 1, 8000, 8) + chunk(b"data", tone)),
}

os.makedirs(HERE, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)
print(f"{len(seeds)} seeds in {HERE}")
