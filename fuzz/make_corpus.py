#!/usr/bin/env python3
"""Writes the named seed inputs in corpus/: short host sessions in the byte
format that kvb_fuzz.cpp decodes (setup byte, then operations). The files with
hash names beside them are inputs the fuzzer found, reduced to a set that
reaches every edge it had reached (libFuzzer -merge=1 -use_counters=0); after
a change of the format they no longer mean the same and should be replaced
by a new merge."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")

DISPATCH, SETPARAM, GETPARAM, PROCESS, RATE, TEXTS, PROGRAM = 0, 3, 4, 5, 7, 8, 9
HOST_OK = 2  # version 2400, input connected


def f_byte(v):
    """anyFloat: value v/255 (selector >= 13)."""
    return bytes([13, v])


F_NAN, F_INF, F_NINF, F_HUGE, F_SUB = bytes([0]), bytes([1]), bytes([2]), bytes([3]), bytes([5])


def f_raw(x):
    return bytes([11]) + struct.pack("<f", x)


def idx(i):  # anyIndex: small index (selector >= 4)
    return bytes([4, i])


def val(v):  # anyValue: small value (selector >= 3)
    return bytes([3, v])


def text(s):
    b = s.encode()
    return bytes([len(b)]) + b


# Bytes that dispatchAny reads after the common arguments, per opcode.
EXTRA = {23: 1, 25: 1, 42: 1, 50: 1, 69: 2}


def dispatch(opcode, index=0, value=0, opt=f_byte(0), s="", null=False):
    return (bytes([DISPATCH, opcode]) + idx(index) + val(value) + opt + text(s) +
            bytes([0 if null else 1]) + bytes([1] * EXTRA.get(opcode, 0)))


def setparam(i, fl):
    return bytes([SETPARAM]) + idx(i) + fl


def process(frames_sel, frames_arg, audio=b"", how=0):
    return bytes([PROCESS, how, frames_sel, frames_arg]) + audio


def rate(fl, block=64):
    return bytes([RATE]) + fl + val(block)


seeds = {
    "process_small": bytes([HOST_OK]) + process(4, 64, bytes(range(40, 200))),
    "every_opcode": bytes([HOST_OK]) + b"".join(dispatch(op, 3, 1) for op in range(81) if op != 1),
    "all_parameters": bytes([HOST_OK]) + b"".join(setparam(i, f_byte(i * 9 % 256)) for i in range(51))
    + process(4, 100),
    "nonfinite_audio": bytes([HOST_OK]) + process(4, 30, bytes([0, 1, 2, 3, 4, 5, 6] * 20)),
    "nonfinite_params": bytes([HOST_OK]) + setparam(4, F_NAN) + setparam(14, F_INF) + setparam(25, F_HUGE)
    + setparam(60, F_SUB) + process(4, 20),
    "rates": bytes([HOST_OK]) + rate(f_raw(96000.0)) + process(3, 1) + rate(F_NAN) + rate(f_raw(-1.0))
    + rate(f_raw(1e-30)) + process(4, 50) + rate(f_raw(3e38)) + process(4, 50),
    "block_sizes": bytes([HOST_OK]) + process(0, 0) + process(1, 3) + process(2, 0) + process(5, 1, how=5)
    + process(4, 7, how=6) + process(4, 7, how=7),
    "texts": bytes([HOST_OK]) + bytes([TEXTS, 4, 7]) + bytes([TEXTS, 0, 1, 2, 3, 4])
    + bytes([TEXTS, 4, 55]) + bytes([PROGRAM]) + val(7) + text("A long program name, longer than 24"),
    "programs": bytes([HOST_OK]) + bytes([PROGRAM]) + val(49) + text("x") + bytes([PROGRAM]) + bytes([1, 9])
    + text("") + setparam(0, f_byte(10)) + bytes([PROGRAM]) + val(0) + text("Init") + bytes([TEXTS, 4, 0]),
    "editor_requests": bytes([HOST_OK]) + dispatch(13, 0, 0) + dispatch(14, 0, 0) + dispatch(19)
    + dispatch(59, 65, 1, f_byte(4)) + dispatch(60, 65, 1) + dispatch(61, 0, 2) + dispatch(15)
    + dispatch(50, 0, 0, f_raw(-3.0)),
    "speaker_chunk_events": bytes([HOST_OK]) + dispatch(69) + dispatch(42) + dispatch(23) + dispatch(24, 0, 0, s="chunk")
    + dispatch(25) + dispatch(51, s="receiveVstMidiEvent"),
    "no_host_version": bytes([0]) + process(4, 10),
}

os.makedirs(HERE, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)
print(f"{len(seeds)} seeds in {HERE}")
