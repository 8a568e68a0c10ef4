#!/usr/bin/env python3
"""KVB in Ardour 7, headless, the way a user's session has it.

  ardour_host_test.py vst2|lv2|vst3 BUILD_DIR [BROKEN_VST2]
  ardour_host_test.py vst3-peer BUILD_DIR

BROKEN_VST2 is a binary that is not a plug-in, for the scanner to refuse.
vst3-peer runs the vst3 checks on zam-plugins' ZamCompX2.vst3 instead of
KVB.vst3, to check this script and Ardour's set-up (not in CI): its own
values, no latency, and Ardour's export without automation as the reference
of the automation check, since kvb render does not know it.

Ardour reads and writes only inside BUILD_DIR/ardour-FORMAT/ (vst3-peer:
ardour-vst3-peer/; its own HOME, XDG
configuration, cache and data folders) and looks for plug-ins only in the build
folder, so the user's own setup is neither read nor touched. Checks:

  - vst2: Ardour's scanner (ardour-vst-scanner) indexes KVB_64.so, and nothing
    for BROKEN_VST2; lv2: the bundle is on LV2_PATH; vst3: Ardour's VST3
    scanner (ardour-vst3-scanner) indexes a copy of KVB.vst3, alone on
    VST3_PATH, under the class ID that the module's factory gives. Ardour
    lists KVB (VST3: by that ID) and instantiates it by it.
  - VST3: Ardour's parameter n is the plug-in's n-th parameter, in the
    controller's order, of those that are automatable or read-only (a
    program-change parameter and the others are left out): KVB's
    parameter n has the id n and the name of KVB's parameter n, 26 and 27
    are read-only.
  - A session with one stereo track holding a region of a test file, KVB first
    on the track, every parameter set through Ardour's controls, saved. Loaded
    by a new Ardour, it gives every parameter back with the value set, reports
    the plug-in's latency of 3 samples and exports a file that equals
    `kvb render` of the test file with the same settings to within -90 dBFS.
    Ardour has run the plug-in on silence before the region starts, so its
    input noise and detector states differ a little (see SETTINGS).
  - The same with the Dis stage's bypass automated on at the middle of the
    region: up to that point the export is the render's, from there on (at
    most one of Ardour's blocks later) it differs.

VST3 in Ardour 7.3, as found here: the UID is the 16 bytes of the class ID
in memory order, as 32 upper-case hexadecimal digits. Ardour's controls take
a parameter's plain value (the controller's normalizedParamToPlain of it),
which session.lua converts from and to the normalised one; the session keeps
every automatable parameter as <Port id=ParamID value=plain> and the
component's and controller's state (a preset-file image) in <chunk>; loading
sets the ports, then the state, and reads every value back from the
controller. The component learns a value set through a control in its next
process call, so the set-up lets the engine run half a second before saving
(as in a session being worked on): a state saved before that still holds the
old values, and wins. A parameter with one step is a toggle in Ardour: any
value above the lower bound becomes the upper one (ZamCompX2: 0.3 and 0.7
both come back as 1); values on the steps come back as set. Automation
reaches a VST3 plug-in as parameter changes at their sample offsets in
Ardour's blocks (Ardour splits its cycle for other formats, not for VST3):
the plug-in must apply each at its offset, or later, never earlier in the
block. Without a GUI Ardour lists a VST3 bundle only from its scanner's
cache, and only while the cache file is not older than the module: the
scanner dates the cache with the module's time cut to whole seconds, so the
copy on VST3_PATH is given whole-second times first.

Ardour 7.3 often crashes while closing a session after an export ("double free
or corruption", also with no plug-in on the track): a run that printed its
last line and left a complete export counts, with a note; a run that crashed
before that is run once more.

Prints one line per check and closes with "ardour FORMAT: N passed, M failed".
"""
import glob
import math
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(HERE, "..", "win"))
import wavtool  # noqa: E402  (the float WAV reader and test signal of the Windows checks)

LUA = os.path.join(HERE, "session.lua")
SCANNER = "/usr/lib/ardour7/ardour-vst-scanner"
VST3_SCANNER = "/usr/lib/ardour7/ardour-vst3-scanner"
ARDOUR_LIBS = "/usr/lib/ardour7"
LV2_URI = "https://kvb-audio.example/plugins/kvb"
VST2_ID = str(0x004B5642)

RATE = 48000
LEAD_IN = 0.5  # seconds of silence that start the test file
SECONDS = 8.0  # the test file's length; its middle falls on loud material
REGION_AT = RATE  # the region starts one second into the session
TOLERANCE_DB = -90.0
SUPERCLOCK = 282240000  # Ardour 7's time unit: superclock ticks per second

# Both stages compressing, left/right and linked, so channel 2 follows
# channel 1 and its own values (set here all the same) leave the sound alone.
# No value is the parameter's default, so that a value lost on the way shows
# in the reload check: StereoMode 0.3, MSMode 0.8, OptMode 0.2 and OptByp1 0.4
# read as their defaults would (switches compare with 0.5, selectors with 0.33
# and 0.66).
#
# The input noise makes the output depend a little on the instance's history.
# A fresh instance (kvb render) and one that ran on silence first (Ardour)
# start from different detector states: on loud material from the first
# sample they differ by up to -73 dBFS with these settings, hence the test
# file's lead-in of silence, after which only the noise differs (about -95
# dBFS here; -89 to -92 dBFS with more make-up gain). With OptThr1 near 0.4 the
# Opt stage turns noise one sample later into differences of -63 to -70 dBFS.
SETTINGS = {
    "OptThr1": 0.2, "OptGain1": 0.1, "DisThr1": 0.3, "DisAtk1": 0.2, "DisRat1": 0.6,
    "DisRls1": 0.4, "DisGain1": 0.1, "OptThr2": 0.45, "OptGain2": 0.15, "DisThr2": 0.55,
    "DisAtk2": 0.6, "DisRat2": 0.2, "DisRls2": 0.8, "DisGain2": 0.35, "OptMode": 0.2,
    "MeterMode": 0.0, "Trafo1": 0.0, "Trafo2": 0.5, "OptByp1": 0.4, "SCFilt1": 0.0,
    "DisByp1": 0.0, "OptByp2": 1.0, "SCFilt2": 0.0, "DisByp2": 0.0, "StereoMode": 0.3,
    "MSMode": 0.8,
}
# The LV2 ports are toggles and selectors with scale points, the VST3
# parameters stepped ones: there those four take the values they are read as.
# Every other stepped value of SETTINGS is a step already (k/2 for the
# three-position selectors, k/5 for the six-position knobs).
LV2_SETTINGS = dict(SETTINGS, OptMode=0.0, OptByp1=0.0, StereoMode=0.0, MSMode=1.0)
VST3_KVB = dict(bundle="KVB.vst3", name="KVB", category="Fx|Dynamics", latency=3)
# zam-plugins' compressor, for vst3-peer: its parameters by Ardour's index
# (0 and 1 are its framework's read-only ones), normalised values.
VST3_PEER = dict(bundle="/usr/lib/vst3/ZamCompX2.vst3", name="ZamCompX2",
                 category="Fx|Dynamics|Stereo", latency=0)
PEER_SETTINGS = {"Attack": 0.05, "Release": 0.3, "Knee": 0.25, "Ratio": 0.4, "Threshold": 0.6,
                 "Makeup": 0.1, "Slew": 0.2, "Stereo Detection": 1.0, "Sidechain": 0.0}
PEER_INDEX = {"Attack": 2, "Release": 3, "Knee": 4, "Ratio": 5, "Threshold": 6, "Makeup": 7,
              "Slew": 8, "Stereo Detection": 9, "Sidechain": 10}
VALUE_TOLERANCE_VST3 = 1e-6  # a normalised value through plain and back, in floats
# The VST2 build has 25 more (the meter controls and spares): 0.06 to 0.30.
VST2_EXTRA = {n: round(0.01 * (n - 20), 2) for n in range(26, 51)}

# 32-bit float WAV at the session's rate, nothing else done to it; the preset
# names the file after the session. Taken from the format Ardour ships for
# 32-bit float broadcast WAV (its own file, in its own schema), renamed and
# without the broadcast chunk.
EXPORT_FORMAT_ID = "6b1e4a52-2f0c-4a8e-9d1e-3c7a1f0b5d21"
ARDOUR_FLOAT_FORMAT = "/usr/share/ardour7/export/BWAV 32float Export.format"


def export_format():
    root = ET.parse(ARDOUR_FLOAT_FORMAT).getroot()
    root.set("name", "KVB check float")
    root.set("id", EXPORT_FORMAT_ID)
    root.find("Encoding").set("name", "WAV")
    options = {o.get("name"): o for o in root.iter("Option")}
    options["broadcast-info"].set("value", "false")
    # What the comparison with kvb render relies on, as Ardour's file has it.
    expected = {"sample-format": "SF_Float", "dithering": "D_None"}
    if any(options[name].get("value") != value for name, value in expected.items()) or \
            root.find("SampleRate").get("rate") != "1" or \
            any(e.get("enabled") != "false" for e in root.find("Processing").iter() if "enabled" in e.attrib):
        raise SystemExit(f"{ARDOUR_FLOAT_FORMAT} is not plain 32-bit float WAV at the session's rate any more")
    return ET.tostring(root, encoding="unicode", xml_declaration=True)


EXPORT_PRESET_ID = "0d6f3c1e-8a47-4b9e-b2f5-7e1c9a3d4f60"
EXPORT_PRESET = f"""<?xml version="1.0" encoding="UTF-8"?>
<ExportPreset id="{EXPORT_PRESET_ID}" name="KVB check">
  <ExportFormat id="{EXPORT_FORMAT_ID}"/>
  <ExportFilename>
    <Folder relative="0" path=""/>
    <Field name="label" enabled="0"/>
    <Field name="session" enabled="1"/>
    <Field name="snapshot" enabled="0"/>
    <Field name="timespan" enabled="0"/>
    <Field name="revision" enabled="0"/>
    <Field name="time" enabled="0" value="T_None"/>
    <Field name="date" enabled="0" value="D_None"/>
  </ExportFilename>
</ExportPreset>
"""
ARDOUR_CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="hide-dummy-backend" value="0"/>
  </Config>
</Ardour>
"""


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def db(x):
    return 20 * math.log10(x) if x > 0 else -math.inf


def wav_complete(path, frames, channels=2):
    """True when path is a finished 32-bit float WAV of `frames` frames: a
    crash while writing leaves the header's sizes behind the data."""
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError:
        return False
    if len(raw) < 12 or raw[0:4] != b"RIFF" or raw[8:12] != b"WAVE":
        return False
    if struct.unpack("<I", raw[4:8])[0] + 8 != len(raw):
        return False
    pos = 12
    while pos + 8 <= len(raw):
        cid, size = raw[pos:pos + 4], struct.unpack("<I", raw[pos + 4:pos + 8])[0]
        if cid == b"data":
            return size == frames * channels * 4 and pos + 8 + size <= len(raw)
        pos += 8 + size + (size & 1)
    return False


class Check:
    def __init__(self, fmt, build, broken=None):
        self.fmt = fmt
        self.build = build
        self.broken = broken
        self.work = os.path.join(build, "ardour-" + fmt)
        self.passed = 0
        self.failed = 0
        self.kvb = os.path.join(build, "kvb")
        self.peer = fmt == "vst3-peer"
        if self.peer:
            self.fmt = "vst3"
            self.work = os.path.join(build, "ardour-vst3-peer")
            self.names = dict(PEER_INDEX)
        else:
            self.names = self.parameter_names()
        self.vst3 = (VST3_PEER if self.peer else VST3_KVB) if self.fmt == "vst3" else None
        self.descs = None  # VST3: Ardour's parameters, from the first set-up
        self.block = None  # Ardour's block size, as the export run reports it

    # --- reporting -------------------------------------------------------------
    def ok(self, what):
        self.passed += 1
        print("ok   " + what, flush=True)

    def fail(self, what, detail=""):
        self.failed += 1
        print("FAIL " + what, flush=True)
        if detail:
            lines = detail.rstrip().splitlines()[-25:]
            print("\n".join("     " + line for line in lines), flush=True)

    def expect(self, condition, what, detail=""):
        if condition:
            self.ok(what)
        else:
            self.fail(what, detail)
        return condition

    def note(self, what):
        print("     " + what, flush=True)

    # --- the private setup -----------------------------------------------------
    def parameter_names(self):
        """Parameter index by name, from kvb info."""
        out = subprocess.run([self.kvb, "info"], capture_output=True, text=True, check=True).stdout
        # Index, name, value from 0 to 1, and for KVB the value in its units.
        rows = re.finditer(r"^\s+(\d+)\s+(\w+)\s+[-\d.]+(\s.*)?$", out, re.M)
        return {m.group(2): int(m.group(1)) for m in rows}

    def prepare(self):
        shutil.rmtree(self.work, ignore_errors=True)
        empty = os.path.join(self.work, "empty")
        config = os.path.join(self.work, "config")
        for d in ("home", "cache", "data", "empty", "sessions", "config/ardour7/export"):
            os.makedirs(os.path.join(self.work, d))
        with open(os.path.join(config, "ardour7", "config"), "w") as f:
            f.write(ARDOUR_CONFIG)
        with open(os.path.join(config, "ardour7", "export", "kvb-check.format"), "w") as f:
            f.write(export_format())
        with open(os.path.join(config, "ardour7", "export", "kvb-check.preset"), "w") as f:
            f.write(EXPORT_PRESET)
        self.env = dict(os.environ)
        self.env.update({
            "HOME": os.path.join(self.work, "home"),
            "XDG_CONFIG_HOME": config,
            "XDG_CACHE_HOME": os.path.join(self.work, "cache"),
            "XDG_DATA_HOME": os.path.join(self.work, "data"),
            "LXVST_PATH": self.build if self.fmt == "vst2" else empty,
            "LV2_PATH": self.build if self.fmt == "lv2" else empty,
            "VST_PATH": empty, "LADSPA_PATH": empty, "DSSI_PATH": empty,
            "VST3_PATH": os.path.join(self.work, "vst3") if self.vst3 else empty,
        })
        self.env.pop("DISPLAY", None)
        # Half a second of silence, then the Windows checks' test signal 6 dB
        # down (peaks at -7 dBFS).
        self.input = os.path.join(self.work, "input.wav")
        wavtool.make(self.input, RATE, SECONDS - LEAD_IN)
        rate, channels, samples = wavtool.read(self.input)
        write_float(self.input, rate, channels,
                    [0.0] * int(LEAD_IN * RATE) * channels + [0.5 * x for x in samples])
        self.frames = int(RATE * SECONDS)

    # --- running Ardour --------------------------------------------------------
    def ardour(self, what, args, setup=None, export_dir=None):
        """Runs session.lua in ardour7-lua. Answers its output, or None after
        reporting a failure. A run that crashed after printing its last line
        (and completing its export) counts; one that crashed before is run
        once more, after `setup` puts its session back."""
        for attempt in (1, 2):
            if setup:
                setup()
            started = time.monotonic()
            try:
                run = subprocess.run(["ardour7-lua", LUA] + args, env=self.env,
                                     capture_output=True, text=True, timeout=600)
            except subprocess.TimeoutExpired:
                self.fail(f"{what}: Ardour did not finish within 10 minutes")
                return None
            out = run.stdout + run.stderr
            finished = "kvb-session: done" in run.stdout
            export = self.exported(export_dir) if export_dir else None
            complete = export_dir is None or (export and wav_complete(export, self.frames))
            crashed = run.returncode < 0 or run.returncode >= 128
            seconds = time.monotonic() - started
            if finished and complete and run.returncode == 0:
                self.note(f"{what}: Ardour ran {seconds:.1f} s")
                return out
            sig = -run.returncode if run.returncode < 0 else run.returncode - 128
            if crashed and sig in signal.valid_signals():
                how = f"crashed ({signal.Signals(sig).name})"
            else:
                how = f"exited with {run.returncode}"
            if crashed and finished and complete:
                self.note(f"{what}: Ardour {how} while closing, after finishing its work"
                          + (" and a complete export" if export_dir else "")
                          + f" ({seconds:.1f} s)")
                return out
            if crashed and attempt == 1:
                self.note(f"{what}: Ardour {how} before finishing; running it once more")
                continue
            self.fail(f"{what}: Ardour {how}" + ("" if finished else " before finishing")
                      + ("" if complete else "; the export is missing or incomplete"), out)
            return None
        return None

    @staticmethod
    def exported(export_dir):
        files = glob.glob(os.path.join(export_dir, "*.wav"))
        return files[0] if len(files) == 1 else None

    # --- sessions ----------------------------------------------------------------
    def session_path(self, name):
        return os.path.join(self.work, "sessions", name)

    def add_region(self, name):
        """Puts the test file into the session as a region at REGION_AT, as an
        import would leave it (one mono file per channel under interchange/),
        without fades, and makes the region the session's range."""
        directory = self.session_path(name)
        rate, channels, samples = wavtool.read(self.input)
        audiofiles = glob.glob(os.path.join(directory, "interchange", "*", "audiofiles"))[0]
        path = os.path.join(directory, name + ".ardour")
        tree = ET.parse(path)
        root = tree.getroot()
        next_id = int(root.get("id-counter"))

        def new_id():
            nonlocal next_id
            next_id += 1
            return str(next_id)

        def at(sample):
            return "a%d" % (sample * SUPERCLOCK // rate)

        sources = []
        for c in range(channels):
            file_name = "input%%%s.wav" % "LR"[c]
            write_float(os.path.join(audiofiles, file_name), rate, 1, samples[c::channels])
            sources.append(new_id())
            ET.SubElement(root.find("Sources"), "Source", {
                "name": file_name, "type": "audio", "flags": "", "id": sources[-1],
                "captured-for": "", "channel": "0", "origin": "", "gain": "1"})
        # A region's length is written with its position: "a<length>@a<position>".
        region = {
            "name": "input", "start": at(0), "length": at(self.frames) + "@" + at(REGION_AT),
            "sync-position": at(0), "ancestral-start": "a0", "ancestral-length": "a0@a0",
            "muted": "0", "opaque": "1", "locked": "0", "automatic": "0", "whole-file": "0",
            "hidden": "0", "envelope-active": "0", "default-fade-in": "0",
            "default-fade-out": "0", "fade-in-active": "0", "fade-out-active": "0",
            "scale-amplitude": "1", "id": new_id(), "type": "audio", "channels": str(channels)}
        for c, source in enumerate(sources):
            region[f"source-{c}"] = region[f"master-source-{c}"] = source
        ET.SubElement(root.find("Playlists/Playlist"), "Region", region)
        ET.SubElement(root.find("Locations"), "Location", {
            "id": new_id(), "name": "session", "start": at(REGION_AT),
            "end": at(REGION_AT + self.frames), "flags": "IsSessionRange", "locked": "0",
            "timestamp": "0", "cue": "0"})
        root.set("id-counter", str(next_id + 1))
        tree.write(path, xml_declaration=True, encoding="UTF-8")

    def plugin_ref(self):
        if self.fmt == "vst3":
            return ("VST3", self.uid)
        return ("LXVST", VST2_ID) if self.fmt == "vst2" else ("LV2", LV2_URI)

    def settings(self):
        """Parameter index -> value for everything the check sets."""
        if self.peer:
            return {self.names[name]: value for name, value in PEER_SETTINGS.items()}
        if self.fmt in ("lv2", "vst3"):
            return {self.names[name]: value for name, value in LV2_SETTINGS.items()}
        values = {self.names[name]: value for name, value in SETTINGS.items()}
        values.update(VST2_EXTRA)
        return values

    def render_session(self, name, values, automation=()):
        """A copy of the pristine session with KVB inserted, `values` set and
        `automation` ((index, sample, value), ...) written, saved; then loaded
        again by another Ardour and exported. Answers the export's path and the
        parameter values that Ardour reported after loading, or (None, None)."""
        directory = self.session_path(name)
        export_dir = os.path.join(self.work, "export-" + name)

        def fresh_copy():
            shutil.rmtree(directory, ignore_errors=True)
            copy_session(self.session_path("pristine"), directory)

        def empty_export_dir():
            shutil.rmtree(export_dir, ignore_errors=True)
            os.makedirs(export_dir)

        ptype, pid = self.plugin_ref()
        args = ["setup", directory, name, ptype, pid]
        args += [f"{n}={v!r}" for n, v in sorted(values.items())]
        args += [f"auto:{n}:{s}:{v!r}" for n, s, v in automation]
        out = self.ardour(f"{name}: set up", args, fresh_copy)
        if out is None:
            return None, None
        if self.fmt == "vst3" and self.descs is None:
            self.descs = [line.split(" ", 5) for line in re.findall(r"^desc (.*)$", out, re.M)]
            self.check_parameters(directory, name)
        # Loaded by a new Ardour, the plug-in starts with the saved values
        # and runs on silence until the export reaches the region.
        out = self.ardour(f"{name}: export",
                          ["export", directory, name, export_dir, EXPORT_PRESET_ID],
                          empty_export_dir, export_dir)
        if out is None:
            return None, None
        latency = re.search(r"^latency (\d+)$", out, re.M)
        expected = str(self.vst3["latency"] if self.vst3 else 3)
        self.expect(latency and latency.group(1) == expected,
                    f"{name}: Ardour sees the plug-in's latency of {expected} samples "
                    f"(got {latency.group(1) if latency else 'none'})")
        got = {int(n): float(v) for n, v in re.findall(r"^param (\d+) (\S+)$", out, re.M)}
        block = re.search(r"^block (\d+)$", out, re.M)
        self.block = int(block.group(1)) if block else None
        return self.exported(export_dir), got

    def same_value(self, a, b):
        if self.fmt == "vst3":
            return abs(a - b) <= VALUE_TOLERANCE_VST3
        return f32(a) == f32(b)

    def check_parameters(self, directory, name):
        """VST3: which of Ardour's parameters is which of the plug-in's: the
        saved session's <Port> ids give each automatable one's ParamID."""
        tree = ET.parse(os.path.join(directory, name + ".ardour"))
        ports = [int(p.get("id")) for proc in tree.getroot().iter("Processor")
                 if proc.get("type") == "vst3" for p in proc.find("vst3").iter("Port")]
        inputs = [(int(d[0]), d[5]) for d in self.descs if d[1] == "INPUT"]
        outputs = [(int(d[0]), d[5]) for d in self.descs if d[1] == "OUTPUT"]
        stepped = [int(d[0]) for d in self.descs if d[4] == "STEPPED"]
        if self.peer:
            self.expect([(i, label) for i, label in inputs if label in self.names] ==
                        sorted((i, n) for n, i in self.names.items()),
                        f"Ardour's parameters of the peer: {self.descs}")
            self.note(f"the session's ParamIDs, in Ardour's order: {ports}; stepped: {stepped}")
            return
        # What the bundle's controller declares, read by our own VST3 host:
        # id, title, short title (the VST 2.4 name), step count.
        listing = subprocess.run([os.path.join(self.build, "kvb_vst3_render"), "--parameters",
                                  "--plugin", os.path.join(self.build, self.vst3["bundle"])],
                                 capture_output=True, text=True)
        declared = [line.split("\t") for line in listing.stdout.splitlines()]
        titles = [(int(d[0]), d[1]) for d in declared if int(d[0]) < 26]
        shorts = {int(d[0]): d[2] for d in declared}
        by_index = {i: n for n, i in self.names.items() if i < 26}
        self.expect(len(titles) == 26 and inputs == titles and all(shorts[i] == n for i, n in by_index.items())
                    and [i for i, _ in outputs] == [26, 27] and ports == list(range(26)),
                    "Ardour's parameter n is KVB's parameter n (ParamID n, with the title it declares and "
                    f"the VST 2.4 name as its short title), 26 and 27 read-only: inputs {inputs}, "
                    f"outputs {outputs}, ParamIDs {ports}", listing.stdout + listing.stderr)
        self.note(f"Ardour takes as stepped: {stepped}")

    def kvb_render(self, name, values):
        """kvb render of the test file (aligned to it, as Ardour's export is)."""
        out = os.path.join(self.work, f"kvb-{name}.wav")
        sets = [arg for n, v in sorted(values.items()) for arg in ("--set", f"{n}={v!r}")]
        run = subprocess.run([self.kvb, "render", self.input, out, "--float"] + sets,
                             capture_output=True, text=True)
        if run.returncode != 0:
            self.fail("kvb render failed", run.stdout + run.stderr)
            return None
        return wavtool.read(out)[2]

    # --- the checks --------------------------------------------------------------
    def indexed(self, binary):
        """What the scanner's cache holds on a binary."""
        infos = []
        for cache in glob.glob(os.path.join(self.work, "cache", "ardour7", "vst", "*.v2i")):
            root = ET.parse(cache).getroot()
            if root.get("binary") == binary:
                infos += root.findall("VST2Info")
        return infos

    def scan(self):
        if self.fmt == "vst2":
            plugin = os.path.join(self.build, "KVB_64.so")
            env = dict(self.env, LD_LIBRARY_PATH=ARDOUR_LIBS)
            run = subprocess.run([SCANNER, "-f", plugin], env=env, capture_output=True, text=True)
            found = [(i.get("name"), i.get("id"), i.get("n_inputs"), i.get("n_outputs"),
                      i.get("can_process_replace")) for i in self.indexed(plugin)]
            self.expect(found == [("KVB", VST2_ID, "2", "2", "1")],
                        f"Ardour's VST2 scanner indexes KVB_64.so: {found}",
                        run.stdout + run.stderr)
            # The scanner answers 0 whatever it finds: the index is what counts,
            # and a binary that is not a plug-in leaves none.
            if self.broken:
                subprocess.run([SCANNER, "-f", self.broken], env=env, capture_output=True)
                self.expect(not self.indexed(self.broken),
                            "and indexes nothing for a binary with a wrong magic number")
        elif self.fmt == "vst3":
            self.scan_vst3()
        elif not os.path.exists(os.path.join(self.build, "KVB.lv2", "manifest.ttl")):
            self.fail(f"no LV2 bundle in {self.build}")

    def scan_vst3(self):
        """A copy of the bundle alone on VST3_PATH, with whole-second file
        times (see above), indexed by Ardour's VST3 scanner; the class ID that
        the module's factory gives, read by this script in a process of its
        own, is the UID to find."""
        source = os.path.join(self.build, self.vst3["bundle"])
        bundle = os.path.join(self.work, "vst3", os.path.basename(source))
        shutil.copytree(source, bundle)
        stamp = int(time.time()) - 10
        for folder, dirs, files in os.walk(bundle):
            for entry in [folder] + [os.path.join(folder, f) for f in files]:
                os.utime(entry, (stamp, stamp))
        module = os.path.join(bundle, "Contents", "x86_64-linux",
                              os.path.splitext(os.path.basename(bundle))[0] + ".so")
        self.module = module
        probe = subprocess.run([sys.executable, os.path.abspath(__file__), "--vst3-classes", module],
                               capture_output=True, text=True)
        classes = [line.split("|") for line in re.findall(r"^class (.*)$", probe.stdout, re.M)]
        effects = [c for c in classes if c[1] == "Audio Module Class"]
        if not self.expect(len(effects) == 1 and effects[0][2] == self.vst3["name"],
                           f"the module's factory has one audio effect class, {self.vst3['name']}: "
                           f"{classes}", probe.stdout + probe.stderr):
            self.uid = effects[0][0] if effects else "none"
            return
        self.uid = effects[0][0]
        env = dict(self.env, LD_LIBRARY_PATH=ARDOUR_LIBS)
        run = subprocess.run([VST3_SCANNER, "-f", bundle], env=env, capture_output=True, text=True)
        found = []
        for cache in glob.glob(os.path.join(self.work, "cache", "ardour7", "vst", "*.v3i")):
            root = ET.parse(cache).getroot()
            if root.get("bundle") == bundle and root.get("module") == module:
                found += [(i.get("uid"), i.get("name"), i.get("category"), i.get("n_inputs"),
                           i.get("n_outputs"), i.get("n_aux_outputs"), i.get("n_midi_inputs"))
                          for i in root.findall("VST3Info")]
        self.expect(found == [(self.uid, self.vst3["name"], self.vst3["category"], "2", "2", "0",
                               "0")],
                    f"Ardour's VST3 scanner indexes {os.path.basename(bundle)} under the class ID "
                    f"{self.uid}: {found}", run.stdout + run.stderr)

    def run(self):
        self.prepare()
        self.scan()

        # The pristine session: one stereo track, the region, nothing else.
        pristine = self.session_path("pristine")
        out = self.ardour("new session", ["create", pristine, "pristine", str(RATE)])
        if out is None:
            return
        # Ardour gives the binary's path for VST2 plug-ins only; LV2_PATH holds
        # nothing but the build folder.
        ptype, pid = self.plugin_ref()
        listed = [line.split("|") for line in re.findall(r"^plugin (.*)$", out, re.M)]
        ours = [p for p in listed if p[2] == pid]
        if self.fmt == "vst2":
            where = os.path.realpath(os.path.join(self.build, "KVB_64.so"))
            found = [p[:2] + [os.path.realpath(p[3])] for p in ours]
            self.expect(found == [["VST2", "KVB", where]],
                        f"Ardour lists KVB as a VST2 plug-in from the build folder: {ours}")
        elif self.fmt == "vst3":
            self.expect([p[:2] + [p[3]] for p in ours] == [["VST3", self.vst3["name"], self.module]]
                        and [p for p in listed if p[0] == "VST3"] == ours,
                        f"Ardour lists {self.vst3['name']} as a VST3 plug-in by its UID, from the "
                        f"bundle on VST3_PATH, and no other VST3 plug-in: {ours}")
        else:
            self.expect([p[:2] for p in ours] == [["LV2", "KVB"]],
                        f"Ardour finds the LV2 bundle on LV2_PATH and lists KVB: {ours}")
        self.add_region("pristine")

        # Every parameter through Ardour's controls, saved, loaded again, exported.
        values = self.settings()
        reference = None if self.peer else self.kvb_render("render", values)
        if reference is None and not self.peer:
            return
        export, got = self.render_session("render", values)
        if export and self.peer:
            # No kvb render of the peer: its export is the reference of the
            # automation check, and must differ from the input.
            reference = wavtool.read(export)[2]
            self.compare_render(reference, None)
        elif export:
            self.compare_render(wavtool.read(export)[2], reference)
        if export:
            wrong = [(n, values.get(n), got.get(n)) for n in sorted(set(values) | set(got))
                     if n not in values or n not in got or not self.same_value(values[n], got[n])]
            differing = f"; differing (index, set, got): {wrong}" if wrong else ""
            self.expect(not wrong, f"render: the session, loaded again, gives back all "
                                   f"{len(values)} parameter values{differing}")

        # Automation: the Dis stage bypassed from the middle of the region on.
        # The middle falls on a beat: Ardour keeps plug-in automation in
        # musical time, to the tick.
        # (The peer: its make-up gain raised.)
        middle = self.frames // 2
        if self.peer:
            makeup = self.names["Makeup"]
            points = [(makeup, REGION_AT, values[makeup]), (makeup, REGION_AT + middle, 0.6)]
        else:
            bypass = self.names["DisByp1"]
            points = [(bypass, REGION_AT, 0.0), (bypass, REGION_AT + middle, 1.0)]
        if reference is None:
            return
        export, _ = self.render_session("automation", values, points)
        if export:
            self.compare_automation(wavtool.read(export)[2], reference, middle)

    def compare_render(self, ardour, reference):
        if reference is None:
            dry = wavtool.read(self.input)[2]
            change = max(abs(a - b) for a, b in zip(ardour, dry)) if len(ardour) == len(dry) else 0
            self.expect(db(change) > -20, f"render: Ardour's export has {len(ardour) // 2} frames "
                                          f"and the plug-in changes the input by up to "
                                          f"{db(change):.1f} dBFS (no kvb render to compare with)")
            return
        if len(ardour) != len(reference):
            self.fail(f"render: Ardour's export has {len(ardour) // 2} frames, "
                      f"kvb render's {len(reference) // 2}")
            return
        worst, at = max((abs(a - b), i) for i, (a, b) in enumerate(zip(ardour, reference)))
        # And the settings do change the sound.
        dry = max(abs(a - b) for a, b in zip(reference, wavtool.read(self.input)[2]))
        self.expect(db(worst) <= TOLERANCE_DB and db(dry) > -20,
                    f"render: Ardour's export equals kvb render to within {db(worst):.1f} dBFS "
                    f"(at most {TOLERANCE_DB:.0f}; largest difference {worst:.2e}, at frame "
                    f"{at // 2}); the plug-in changes the input by up to {db(dry):.1f} dBFS")

    def compare_automation(self, ardour, reference, point):
        if len(ardour) != len(reference):
            self.fail(f"automation: Ardour's export has {len(ardour) // 2} frames, kvb render's "
                      f"{len(reference) // 2}")
            return
        diff = [abs(a - b) for a, b in zip(ardour, reference)]
        before = max(diff[:2 * point])
        after = max(diff[2 * point:])
        self.expect(db(before) <= TOLERANCE_DB,
                    f"automation: up to the automation point the export is "
                    f"{'the export' if self.peer else 'kvb render'} without it "
                    f"(within {db(before):.1f} dBFS)")
        # Ardour hands a VST2 plug-in the automated value at the start of its
        # next block (it runs VST2 plug-ins in whole blocks), a VST3 plug-in
        # the change at its offset in the block: the change may come up to
        # one block late (ZamCompX2: 512 samples), never early.
        first = next((i // 2 for i, d in enumerate(diff) if d > 1e-4), len(diff)) - point
        self.expect(db(after) > -40 and 0 <= first <= (self.block or 0),
                    f"automation: from the point on, with the "
                    f"{'make-up gain raised' if self.peer else 'Dis stage bypassed'}, it differs by up "
                    f"to {db(after):.1f} dBFS, from {first} samples after the point on (Ardour's "
                    f"block: {self.block} samples)")


def copy_session(source, target):
    """A copy of a session folder under another name, as Ardour would have
    made it there: the snapshot, the session's name and its folder under
    interchange/ (where Ardour looks for the audio) all take the new name."""
    old, new = os.path.basename(source), os.path.basename(target)
    shutil.copytree(source, target)
    os.rename(os.path.join(target, "interchange", old), os.path.join(target, "interchange", new))
    for suffix in (".ardour", ".ardour.bak"):
        if os.path.exists(os.path.join(target, old + suffix)):
            os.rename(os.path.join(target, old + suffix), os.path.join(target, new + suffix))
    path = os.path.join(target, new + ".ardour")
    tree = ET.parse(path)
    tree.getroot().set("name", new)
    tree.write(path, xml_declaration=True, encoding="UTF-8")


def write_float(path, rate, channels, samples):
    """A 32-bit float WAV file of interleaved samples."""
    from array import array
    body = array("f", samples)
    if sys.byteorder != "little":
        body.byteswap()
    body = body.tobytes()
    fmt = struct.pack("<HHIIHH", 3, channels, rate, rate * 4 * channels, 4 * channels, 32)
    chunks = (b"fmt " + struct.pack("<I", len(fmt)) + fmt
              + b"data" + struct.pack("<I", len(body)) + body)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks)


def vst3_classes(module):
    """Prints "class UID|CATEGORY|NAME" for every class of a VST3 module's
    factory, the UID being the class ID's 16 bytes in memory order as Ardour
    writes it. The factory is an object whose first word points at its
    function table: queryInterface, addRef, release, getFactoryInfo,
    countClasses, getClassInfo(index, PClassInfo*), createInstance; a
    PClassInfo is the ID (16 bytes), the cardinality (int32), the category
    (32 characters) and the name (64)."""
    import ctypes

    class ClassInfo(ctypes.Structure):
        _fields_ = [("cid", ctypes.c_ubyte * 16), ("cardinality", ctypes.c_int32),
                    ("category", ctypes.c_char * 32), ("name", ctypes.c_char * 64)]

    lib = ctypes.CDLL(module, mode=os.RTLD_NOW | os.RTLD_LOCAL)
    if hasattr(lib, "ModuleEntry"):
        lib.ModuleEntry.argtypes = [ctypes.c_void_p]
        lib.ModuleEntry.restype = ctypes.c_bool
        if not lib.ModuleEntry(lib._handle):
            raise SystemExit("ModuleEntry failed")
    lib.GetPluginFactory.restype = ctypes.c_void_p
    factory = lib.GetPluginFactory()
    if not factory:
        raise SystemExit("GetPluginFactory gave no factory")
    table = ctypes.cast(ctypes.cast(factory, ctypes.POINTER(ctypes.c_void_p))[0],
                        ctypes.POINTER(ctypes.c_void_p))
    release = ctypes.CFUNCTYPE(ctypes.c_uint32, ctypes.c_void_p)(table[2])
    count = ctypes.CFUNCTYPE(ctypes.c_int32, ctypes.c_void_p)(table[4])
    info_of = ctypes.CFUNCTYPE(ctypes.c_int32, ctypes.c_void_p, ctypes.c_int32,
                               ctypes.POINTER(ClassInfo))(table[5])
    for i in range(count(factory)):
        info = ClassInfo()
        if info_of(factory, i, ctypes.byref(info)) == 0:
            print("class %s|%s|%s" % (bytes(info.cid).hex().upper(), info.category.decode(),
                                      info.name.decode()), flush=True)
    release(factory)
    if hasattr(lib, "ModuleExit"):
        lib.ModuleExit.restype = ctypes.c_bool
        lib.ModuleExit()


def main(argv):
    if len(argv) == 3 and argv[1] == "--vst3-classes":
        vst3_classes(argv[2])
        return 0
    if len(argv) not in (3, 4) or argv[1] not in ("vst2", "lv2", "vst3", "vst3-peer"):
        raise SystemExit(__doc__)
    build = os.path.abspath(argv[2])
    if shutil.which("ardour7-lua") is None or not os.path.exists(SCANNER):
        print(f"FAIL Ardour 7 is not installed (ardour7-lua, {SCANNER}): "
              "scripts/install-deps.sh installs it")
        return 1
    started = time.monotonic()
    check = Check(argv[1], build, os.path.abspath(argv[3]) if len(argv) == 4 else None)
    check.run()
    print(f"ardour {argv[1]}: {check.passed} passed, {check.failed} failed "
          f"({time.monotonic() - started:.0f} s)", flush=True)
    return 0 if check.failed == 0 and check.passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
