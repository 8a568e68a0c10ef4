#!/usr/bin/env python3
"""KVB in Ardour 7, headless, the way a user's session has it.

  ardour_host_test.py vst2|lv2 BUILD_DIR [BROKEN_VST2]

BROKEN_VST2 is a binary that is not a plug-in, for the scanner to refuse.

Ardour reads and writes only inside BUILD_DIR/ardour-FORMAT/ (its own HOME, XDG
configuration, cache and data folders) and looks for plug-ins only in the build
folder, so the user's own setup is neither read nor touched. Checks:

  - vst2: Ardour's scanner (ardour-vst-scanner) indexes KVB_64.so, and nothing
    for BROKEN_VST2; lv2: the bundle is on LV2_PATH. Ardour lists KVB.
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
# The LV2 ports are toggles and selectors with scale points: there those four
# take the values they are read as.
LV2_SETTINGS = dict(SETTINGS, OptMode=0.0, OptByp1=0.0, StereoMode=0.0, MSMode=1.0)
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
        self.names = self.parameter_names()
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
            "VST_PATH": empty, "VST3_PATH": empty, "LADSPA_PATH": empty, "DSSI_PATH": empty,
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
        return ("LXVST", VST2_ID) if self.fmt == "vst2" else ("LV2", LV2_URI)

    def settings(self):
        """Parameter index -> value for everything the check sets."""
        if self.fmt == "lv2":
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
        if self.ardour(f"{name}: set up", args, fresh_copy) is None:
            return None, None
        # Loaded by a new Ardour, the plug-in starts with the saved values
        # and runs on silence until the export reaches the region.
        out = self.ardour(f"{name}: export",
                          ["export", directory, name, export_dir, EXPORT_PRESET_ID],
                          empty_export_dir, export_dir)
        if out is None:
            return None, None
        latency = re.search(r"^latency (\d+)$", out, re.M)
        self.expect(latency and latency.group(1) == "3",
                    f"{name}: Ardour sees the plug-in's latency of 3 samples "
                    f"(got {latency.group(1) if latency else 'none'})")
        got = {int(n): float(v) for n, v in re.findall(r"^param (\d+) (\S+)$", out, re.M)}
        block = re.search(r"^block (\d+)$", out, re.M)
        self.block = int(block.group(1)) if block else None
        return self.exported(export_dir), got

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
        elif not os.path.exists(os.path.join(self.build, "KVB.lv2", "manifest.ttl")):
            self.fail(f"no LV2 bundle in {self.build}")

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
        else:
            self.expect([p[:2] for p in ours] == [["LV2", "KVB"]],
                        f"Ardour finds the LV2 bundle on LV2_PATH and lists KVB: {ours}")
        self.add_region("pristine")

        # Every parameter through Ardour's controls, saved, loaded again, exported.
        values = self.settings()
        reference = self.kvb_render("render", values)
        if reference is None:
            return
        export, got = self.render_session("render", values)
        if export:
            self.compare_render(wavtool.read(export)[2], reference)
            wrong = [(n, values.get(n), got.get(n)) for n in sorted(set(values) | set(got))
                     if n not in values or n not in got or f32(values[n]) != f32(got[n])]
            differing = f"; differing (index, set, got): {wrong}" if wrong else ""
            self.expect(not wrong, f"render: the session, loaded again, gives back all "
                                   f"{len(values)} parameter values{differing}")

        # Automation: the Dis stage bypassed from the middle of the region on.
        # The middle falls on a beat: Ardour keeps plug-in automation in
        # musical time, to the tick.
        bypass = self.names["DisByp1"]
        middle = self.frames // 2
        export, _ = self.render_session(
            "automation", values, [(bypass, REGION_AT, 0.0), (bypass, REGION_AT + middle, 1.0)])
        if export:
            self.compare_automation(wavtool.read(export)[2], reference, middle)

    def compare_render(self, ardour, reference):
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
                    f"automation: up to the automation point the export is kvb render's without it "
                    f"(within {db(before):.1f} dBFS)")
        # Ardour hands a VST2 plug-in the automated value at the start of its
        # next block (it runs VST2 plug-ins in whole blocks): the change may
        # come up to one block late.
        first = next((i // 2 for i, d in enumerate(diff) if d > 1e-4), len(diff)) - point
        self.expect(db(after) > -40 and 0 <= first <= (self.block or 0),
                    f"automation: from the point on, with the Dis stage bypassed, it differs by up "
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


def main(argv):
    if len(argv) not in (3, 4) or argv[1] not in ("vst2", "lv2"):
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
