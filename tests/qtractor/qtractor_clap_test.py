#!/usr/bin/env python3
"""KVB's CLAP build in Qtractor, on an X server and a JACK server of its own.

  qtractor_clap_test.py BUILD_DIR            KVB.clap of the build folder
  qtractor_clap_test.py BUILD_DIR --peer     zam-plugins' ZamCompX2 instead, to check
                                             this script and the host set-up (not in CI)

Options (the defaults are KVB's; --peer sets ZamCompX2's):
  --plugin FILE      the .clap file (KVB.clap in BUILD_DIR)
  --name NAME        the plug-in's name, as Qtractor lists it
  --controls IN:OUT  how many automatable input and read-only output
                     parameters Qtractor counts
  --editor WxH       the editor's fixed size
  --param NAME       the parameter that the editor changes
  --click X,Y        where in the editor a click changes it, or
  --drag X,Y,DY      where a vertical drag of DY pixels does
  --no-state         the plug-in has no state extension
  --reference KVB    kvb, whose screenshot command draws the pictures that
                     the editor shown by Qtractor is compared with (kvb in
                     BUILD_DIR; none for --peer)

Qtractor identifies a CLAP plug-in by its file and its index in the file's
factory and shows its name; the plug-in's id string appears nowhere (its scan
cache's last field is a hash of the string's address, different every run).

Qtractor reads and writes only inside BUILD_DIR/qtractor-clap/ (its HOME, XDG
folders and sessions); CLAP_PATH holds a copy of the plug-in and nothing else,
the other formats' paths an empty folder. Xvfb picks a free display; jackd
runs on the dummy driver under a server name of this run's own.

Qtractor 0.9.31's audio/MIDI engine needs the ALSA sequencer (/dev/snd/seq),
which these machines lack: it reports that the engine could not be started,
and the session goes on with no engine. Qtractor still scans, instantiates
the plug-in (init, the params, state, gui and audio-ports extensions), shows
its editor and saves and loads sessions, but never activates nor processes
it. What that means here:

  - A value that Qtractor sets (its generic controls, the <params> of a
    session being loaded) is queued as a parameter event for the next
    process call, which never comes: it does not reach the plug-in. When
    saving, Qtractor asks the plug-in for every value (params.get_value) and
    for its state, and writes those. So values reach the plug-in, and come
    back from it, only through its own editor and through its state
    (state.save into the session, state.load when the session is loaded).
  - No audio is played: the sound is checked by the Ardour tests.

Checks, one line each:
  1. Qtractor's scan (its "Add Plugin" dialog, set to CLAP) finds the plug-in
     on CLAP_PATH: its scan cache lists NAME from the copy, and nothing else,
     with 2:2 audio channels, the parameter counts and an editor.
  2. Added to the session's track from that dialog, it opens its editor: an
     X window of the plug-in's own inside Qtractor's, of the fixed size,
     showing a picture (not one colour; KVB: what kvb screenshot shows).
  3. The session saved right then (A) holds the plug-in by its file, with
     every parameter by name, and its state.
  4. The click (or drag) in the editor changes its picture there, and Qtractor
     learns of the change (the session becomes modified): a plug-in must tell
     a host that is not processing through params.request_flush and the
     flush that follows.
  5. Saved again (B), the session has the new value of PARAM and another
     state (the other values that changed are listed).
  6. A new Qtractor loads B: the plug-in's editor, opened again, shows the
     control as it was after the change (KVB: the whole editor as kvb
     screenshot draws it with B's value), and the session, saved by it (C),
     has every value and the state of B.

ZamCompX2 passes everything but the three checks of the changed value (4's
second half, 5 and 6's editor): its editor's changes wait in a queue for the
next process call (zam's framework never asks for a flush), so without an
engine they never reach the plug-in, nor Qtractor; and with no state
extension its values could not come back from a session anyway.

Prints one line per check and closes with "qtractor clap: N passed, M failed".
"""
import argparse
import configparser
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

RATE = 48000
SCREEN = "2200x1200x24"  # room for an editor beside the main window (1024x768)
TRACK = "KVB"
# KVB's defaults: DisByp1 ("Dis bypass 1", as the CLAP build names its
# parameters) is a switch; a click in its middle toggles it.
KVB = dict(name="KVB", controls="26:2", editor="1100x616", param="Dis bypass 1", click="445,362",
           drag=None, state=True)
PEER = dict(plugin="/usr/lib/clap/ZamCompX2.clap", name="ZamCompX2", controls="9:2",
            editor="800x107", param="Threshold", click=None, drag="212,65,50", state=False)

# The plug-in type selector of Qtractor's "Add Plugin" dialog: (Any), LADSPA,
# DSSI, VST2, CLAP, LV2 (this build has no VST3); the dialog opens on the last
# one chosen, which its configuration keeps.
CLAP_TYPE_ENTRY = 4


class Check:
    def __init__(self, opts, build):
        self.opts = opts
        self.work = os.path.join(build, "qtractor-clap")
        self.passed = 0
        self.failed = 0
        self.procs = []
        self.display = None
        self.reference = opts.reference
        self.reference_after = None

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
        (self.ok if condition else lambda w: self.fail(w, detail))(what)
        return condition

    def note(self, what):
        print("     " + what, flush=True)

    # --- the private set-up ----------------------------------------------------
    def prepare(self):
        shutil.rmtree(self.work, ignore_errors=True)
        for d in ("home", "config/rncbc.org", "cache", "data", "runtime", "plugins", "empty",
                  "sessions", "shots"):
            os.makedirs(os.path.join(self.work, d))
        os.chmod(os.path.join(self.work, "runtime"), 0o700)
        self.plugin = os.path.join(self.work, "plugins", os.path.basename(self.opts.plugin))
        shutil.copy(self.opts.plugin, self.plugin)
        empty = os.path.join(self.work, "empty")
        self.jack_name = f"kvb-qtractor-{os.getpid()}"
        self.env = dict(os.environ)
        self.env.update({
            "HOME": os.path.join(self.work, "home"),
            "XDG_CONFIG_HOME": os.path.join(self.work, "config"),
            "XDG_CACHE_HOME": os.path.join(self.work, "cache"),
            "XDG_DATA_HOME": os.path.join(self.work, "data"),
            "XDG_RUNTIME_DIR": os.path.join(self.work, "runtime"),
            "JACK_DEFAULT_SERVER": self.jack_name,
            "CLAP_PATH": os.path.dirname(self.plugin),
            "LADSPA_PATH": empty, "DSSI_PATH": empty, "VST_PATH": empty, "LXVST_PATH": empty,
            "VST2_PATH": empty, "VST3_PATH": empty, "LV2_PATH": empty,
        })
        for name in ("SESSION_MANAGER", "NSM_URL", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        self.write_config()

    def write_config(self):
        """Qtractor's configuration: no auto-save (it would write into the
        working folder), its messages on stdout (into this run's log), the
        plug-in dialog on CLAP, a plug-in's editor opened when it is added."""
        config = configparser.ConfigParser(interpolation=None)
        config.optionxform = str
        config["AutoSave"] = {"Enabled": "false"}
        config["Default"] = {"PluginType": str(CLAP_TYPE_ENTRY), "SessionBackup": "false",
                             "AutoSessionDir": "false"}
        config["Options"] = {"Display\\StdoutCapture": "false", "Display\\ConfirmRemove": "false"}
        config["Plugins"] = {"OpenEditor": "true", "DummyPluginScan": "true",
                             "QueryEditorType": "false"}
        config["Program"] = {"Version": "0.9.31"}
        with open(os.path.join(self.work, "config", "rncbc.org", "Qtractor.conf"), "w") as f:
            config.write(f, space_around_delimiters=False)

    def start_servers(self):
        """Xvfb on a free display (it writes the number it took) and jackd on
        the dummy driver, under this run's server name."""
        read, write = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", SCREEN,
                                 "-nolisten", "tcp"], pass_fds=(write,),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(xvfb)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        if not number.strip().isdigit():
            raise SystemExit("FAIL Xvfb did not start")
        self.display = ":" + number.decode().strip()
        self.env["DISPLAY"] = self.display
        log = open(os.path.join(self.work, "jackd.log"), "w")
        jack = subprocess.Popen(["jackd", "--no-realtime", "-n", self.jack_name,
                                 "-d", "dummy", "-r", str(RATE), "-p", "512"],
                                env=self.env, stdout=log, stderr=subprocess.STDOUT)
        self.procs.append(jack)
        wait = subprocess.run(["jack_wait", "-s", self.jack_name, "-w", "-t", "20"], env=self.env,
                              capture_output=True, text=True)
        if wait.returncode != 0 or jack.poll() is not None:
            raise SystemExit("FAIL jackd did not start:\n" + open(log.name).read())

    def stop_servers(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(10)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()

    # --- X ---------------------------------------------------------------------------
    def x(self, *args, check=True):
        run = subprocess.run(list(args), env=self.env, capture_output=True, text=True)
        if check and run.returncode != 0:
            raise RuntimeError(f"{' '.join(args)}: {run.stderr.strip()}")
        return run.stdout

    def windows(self):
        """Visible top-level and child windows with a name: {id: name}."""
        ids = self.x("xdotool", "search", "--onlyvisible", "--name", ".", check=False).split()
        names = {}
        for w in ids:
            name = self.x("xdotool", "getwindowname", w, check=False).strip()
            names[int(w)] = name
        return names

    def wait_window(self, pattern, seconds=30):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            for w, name in self.windows().items():
                if re.search(pattern, name):
                    return w
            if self.qtractor and self.qtractor.poll() is not None:
                return None
            time.sleep(0.25)
        return None

    def geometry(self, window):
        """(x, y, width, height) of a window, x and y on the screen."""
        info = self.x("xwininfo", "-id", str(window))
        field = lambda label: int(re.search(label + r":\s+(-?\d+)", info).group(1))  # noqa: E731
        return (field("Absolute upper-left X"), field("Absolute upper-left Y"),
                field("Width"), field("Height"))

    def children(self, window):
        """The child windows of a window: [(id, width, height)]."""
        out = self.x("xwininfo", "-children", "-id", str(window))
        return [(int(m.group(1), 16), int(m.group(2)), int(m.group(3)))
                for m in re.finditer(r"^\s+(0x[0-9a-f]+) .*?(\d+)x(\d+)\+-?\d+\+-?\d+", out, re.M)]

    def click(self, x, y, button=1, repeat=1):
        self.x("xdotool", "mousemove", str(x), str(y), "click", "--repeat", str(repeat),
               "--delay", "120", str(button))

    def drag(self, x, y, dy):
        self.x("xdotool", "mousemove", str(x), str(y), "mousedown", "1")
        step = 5 if dy > 0 else -5
        for _ in range(abs(dy) // 5):
            self.x("xdotool", "mousemove_relative", "--", "0", str(step))
            time.sleep(0.03)
        self.x("xdotool", "mouseup", "1")

    def key(self, *keys):
        self.x("xdotool", "key", "--delay", "80", *keys)

    def type(self, text):
        self.x("xdotool", "type", "--delay", "50", text)

    def shot(self, window, name):
        """A PNG of a window's contents, and its pixels as rows of RGB tuples
        (ImageMagick's plain PPM, read here)."""
        path = os.path.join(self.work, "shots", name + ".png")
        self.x("import", "-window", str(window), path)
        return self.read_picture(path)

    def read_picture(self, path):
        ppm = self.x("convert", path, "-compress", "none", "ppm:-")
        numbers = ppm.split()
        width, height = int(numbers[1]), int(numbers[2])
        values = list(map(int, numbers[4:]))
        pixels = [tuple(values[i:i + 3]) for i in range(0, len(values), 3)]
        return [pixels[r * width:(r + 1) * width] for r in range(height)]

    # --- Qtractor ----------------------------------------------------------------------
    qtractor = None

    def start_qtractor(self, session, what):
        """Starts Qtractor on a session file and waits for the session to be
        open. The engine's failure to start is reported in a message box that
        holds up the session's loading until it is dismissed."""
        self.log = open(os.path.join(self.work, f"qtractor-{what}.log"), "w")
        self.qtractor = subprocess.Popen(["qtractor", session], env=self.env, cwd=self.work,
                                         stdout=self.log, stderr=subprocess.STDOUT)
        self.qtractor_what = what
        error = self.wait_window(r"^Error — Qtractor$", 30)
        if error:
            self.note(f"{what}: Qtractor could not start its audio/MIDI engine (no ALSA sequencer "
                      "here); the session goes on without it")
            self.key("Return")
        name = os.path.basename(session)
        main = self.wait_window(re.escape(name) + r"( \[modified\])? — Qtractor$", 60)
        if not main:
            self.fail(f"{what}: Qtractor did not open {session}", self.log_text())
            return None
        time.sleep(1.0)
        return main

    def log_text(self):
        self.log.flush()
        with open(self.log.name) as f:
            return f.read()

    def main_title(self):
        for name in self.windows().values():
            if name.endswith(" — Qtractor") and ".qtr" in name:
                return name
        return ""

    def save(self, main):
        """File > Save (Ctrl+S) with the main window focused; waits for the
        title to lose its [modified] mark."""
        x, y, _, _ = self.geometry(main)
        self.click(x + 400, y + 450)  # the empty track area, to focus the main window
        self.key("ctrl+s")
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if "[modified]" not in self.main_title():
                return True
            time.sleep(0.25)
        return False

    def quit_qtractor(self, main):
        """File > Exit; a Qtractor that does not close within 20 seconds is
        ended (and noted)."""
        x, y, _, _ = self.geometry(main)
        self.click(x + 20, y + 8)  # File
        time.sleep(0.5)
        self.key("Up", "Return")  # its last entry, Exit
        try:
            code = self.qtractor.wait(20)
        except subprocess.TimeoutExpired:
            self.note(f"{self.qtractor_what}: Qtractor did not exit within 20 s: ended")
            self.qtractor.terminate()
            code = self.qtractor.wait(10)
        if code != 0:
            self.note(f"{self.qtractor_what}: Qtractor exited with {code}")
        self.qtractor = None

    # --- sessions ----------------------------------------------------------------------
    def write_session(self, path):
        """A session of one stereo audio track, TRACK, on the master bus,
        without plug-ins, as Qtractor 0.9.31 writes one."""
        directory = os.path.dirname(path)
        os.makedirs(directory, exist_ok=True)
        session = ET.Element("session", {"version": "Qtractor 0.9.31",
                                         "name": os.path.splitext(os.path.basename(path))[0]})
        props = ET.SubElement(session, "properties")
        for tag, text in (("directory", directory), ("description", ""),
                          ("sample-rate", str(RATE)), ("tempo", "120"),
                          ("ticks-per-beat", "960"), ("beats-per-bar", "4"),
                          ("beat-divisor", "2")):
            ET.SubElement(props, tag).text = text
        files = ET.SubElement(session, "files")
        ET.SubElement(files, "audio-list")
        ET.SubElement(files, "midi-list")
        devices = ET.SubElement(session, "devices")
        engine = ET.SubElement(devices, "audio-engine")
        bus = ET.SubElement(engine, "audio-bus", {"mode": "duplex", "name": "Master"})
        for tag, text in (("monitor", "0"), ("channels", "2"), ("auto-connect", "1")):
            ET.SubElement(bus, tag).text = text
        tracks = ET.SubElement(session, "tracks")
        track = ET.SubElement(tracks, "track", {"type": "audio", "name": TRACK})
        tprops = ET.SubElement(track, "properties")
        ET.SubElement(tprops, "input-bus").text = "Master"
        ET.SubElement(tprops, "output-bus").text = "Master"
        state = ET.SubElement(track, "state")
        for tag, text in (("mute", "0"), ("solo", "0"), ("record", "0"), ("monitor", "0"),
                          ("gain", "1"), ("panning", "0")):
            ET.SubElement(state, tag).text = text
        view = ET.SubElement(track, "view")
        ET.SubElement(view, "height").text = "96"
        ET.SubElement(track, "clips")
        ET.SubElement(track, "plugins")
        with open(path, "w") as f:
            f.write("<!DOCTYPE qtractorSession>\n")
            f.write(ET.tostring(session, encoding="unicode"))

    def saved_plugin(self, path):
        """What a saved session holds of the track's plug-ins:
        [{file, index, label, params {name: value}, ids {name: index}, state}]."""
        root = ET.parse(path).getroot()
        found = []
        for track in root.iter("track"):
            for p in track.iter("plugin"):
                params = {e.get("name"): float(e.text) for e in p.iter("param")}
                ids = {e.get("name"): int(e.get("index")) for e in p.iter("param")}
                state = [c.text for c in p.iter("config") if c.get("key") == "state"]
                found.append({"type": p.get("type"), "file": p.findtext("filename"),
                              "index": p.findtext("index"), "label": p.findtext("label"),
                              "params": params, "ids": ids,
                              "state": re.sub(r"\s+", "", state[0]) if state else None})
        return found

    # --- the checks ----------------------------------------------------------------------
    def scan_cache(self):
        path = os.path.join(self.work, "cache", "Qtractor", "qtractor_clap_scan.cache")
        try:
            with open(path) as f:
                return [line.rstrip("\n").split("|") for line in f if line.strip()]
        except OSError:
            return []

    def add_plugin(self, main):
        """The track's plug-in list (right of its name), its context menu's
        first entry "Add Plugin...", in the dialog the plug-in's name typed
        into the filter and the first match taken."""
        x, y, _, _ = self.geometry(main)
        self.click(x + 179, y + 194, button=3)
        time.sleep(0.8)
        self.key("Down", "Return")
        dialog = self.wait_window(r"^Plugins — Qtractor$", 20)
        if not dialog:
            self.fail("Qtractor's Add Plugin dialog did not open", self.log_text())
            return False
        # The dialog scans the CLAP paths when it opens on CLAP.
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and not self.scan_cache():
            time.sleep(0.5)
        time.sleep(1.0)
        listed = [e for e in self.scan_cache() if len(e) >= 7 and e[0] == "CLAP"]
        ours = [e[1:6] for e in listed if e[6] == self.plugin]
        ins, outs = self.opts.controls.split(":")
        flags = ours[0][4].split(",") if ours else []
        self.expect(len(listed) == 1 and ours and ours[0][0] == self.opts.name
                    and ours[0][1] == "2:2" and ours[0][3] == f"{ins}:{outs}" and "GUI" in flags,
                    f"Qtractor's scan finds {self.opts.name} on CLAP_PATH with 2:2 audio channels, "
                    f"{ins}:{outs} parameters and an editor: {listed}")
        dx, dy, _, _ = self.geometry(dialog)
        self.type(self.opts.name)
        time.sleep(0.8)
        # The list's first row, then OK (the dialog's default button).
        self.click(dx + 80, dy + 55)
        time.sleep(0.3)
        self.key("Return")
        return True

    def editor(self, what):
        """Qtractor's editor window for the plug-in and the plug-in's own
        window in it, or None."""
        title = rf"^{re.escape(self.opts.name)} - {TRACK} — Qtractor$"
        frame = self.wait_window(title, 30)
        if not frame:
            self.fail(f"{what}: no editor window ({self.opts.name} - {TRACK}); windows: "
                      f"{sorted(self.windows().values())}", self.log_text())
            return None, None
        # Qtractor centres the editor on its main window, which puts a wide
        # one partly off the screen, where it cannot be captured: beside the
        # main window instead.
        self.x("xdotool", "windowmove", "--sync", str(frame), "1040", "0", check=False)
        time.sleep(1.5)  # the plug-in draws on its timer
        width, height = map(int, self.opts.editor.split("x"))
        inner = self.children(frame)
        ours = [c for c in inner if (c[1], c[2]) == (width, height)]
        self.expect(len(ours) == 1, f"{what}: the plug-in's editor is an X window of "
                                    f"{width}x{height} inside Qtractor's (children: {inner})")
        return frame, ours[0][0] if ours else None

    def picture_check(self, window, what):
        pixels = self.shot(window, what)
        colours = len({p for row in pixels for p in row})
        self.expect(colours >= 16, f"{what}: the editor shows a picture ({colours} colours)")
        return pixels

    def reference_picture(self, name, settings):
        """The editor as the VST 2.4 build draws it in kvb (kvb screenshot,
        no audio played), with `settings` set."""
        path = os.path.join(self.work, "shots", name + ".png")
        sets = [arg for n, v in settings.items() for arg in ("--set", f"{n}={v:g}")]
        run = subprocess.run([self.reference, "screenshot", path, "--audio", "0"] + sets,
                             env=self.env, capture_output=True, text=True)
        if run.returncode != 0:
            self.fail("kvb screenshot failed", run.stdout + run.stderr)
            return None
        return self.read_picture(path)

    def compare_reference(self, pixels, reference, what):
        """The editor shown by the host against the reference picture: the
        same but for at most 1 % of the pixels (the status line, a meter's
        needle drawn a pixel off)."""
        if reference is None:
            return
        size = (len(reference[0]), len(reference)) if reference else (0, 0)
        if (len(pixels[0]), len(pixels)) != size:
            self.fail(f"{what}: the editor is {len(pixels[0])}x{len(pixels)}, kvb's {size}")
            return
        count = differing(pixels, reference)
        self.expect(count <= size[0] * size[1] // 100,
                    f"{what}: the editor shows what kvb screenshot shows with the same values "
                    f"({count} of {size[0] * size[1]} pixels differ)")

    def run(self):
        self.prepare()
        self.start_servers()
        try:
            self.first_run()
        finally:
            if self.qtractor and self.qtractor.poll() is None:
                self.qtractor.kill()
                self.qtractor.wait()
            self.stop_servers()

    def first_run(self):
        opts = self.opts
        session = os.path.join(self.work, "sessions", "kvb", "kvb.qtr")
        self.write_session(session)
        main = self.start_qtractor(session, "first run")
        if not main:
            return
        if not self.add_plugin(main):
            return
        frame, window = self.editor("first run")
        if not window:
            return
        before = self.picture_check(window, "first run")
        if self.reference:
            self.reference_before = self.reference_picture("reference", {})
            self.compare_reference(before, self.reference_before, "first run")

        # A: the plug-in as added.
        if not self.expect(self.save(main), "first run: Qtractor saves the session"):
            return
        saved_a = session + ".a"
        shutil.copy(session, saved_a)
        a = self.saved_plugin(saved_a)
        plugin_a = a[0] if len(a) == 1 else None
        ins = int(opts.controls.split(":")[0])
        self.expect(plugin_a and plugin_a["type"] == "CLAP" and plugin_a["file"] == self.plugin
                    and plugin_a["index"] == "0" and len(plugin_a["params"]) == ins
                    and opts.param in plugin_a["params"]
                    and (plugin_a["state"] is not None) == opts.state,
                    f"the session saved (A) holds the plug-in by its file, its {ins} parameters by "
                    f"name and {'its state' if opts.state else 'no state'}: "
                    + (f"{plugin_a['label']} {plugin_a['file']} index {plugin_a['index']}, "
                       f"{len(plugin_a['params'])} parameters, state "
                       f"{len(plugin_a['state']) if plugin_a['state'] else None} characters"
                       if plugin_a else str(a)))

        # The change in the editor.
        ex, ey, _, _ = self.geometry(window)
        if opts.click:
            cx, cy = map(int, opts.click.split(","))
            self.click(ex + cx, ey + cy)
        else:
            cx, cy, dy = map(int, opts.drag.split(","))
            self.drag(ex + cx, ey + cy, dy)
        self.area = (cx - 40, cy - 40, cx + 40, cy + 40)
        time.sleep(1.5)
        after = self.shot(window, "first run, changed")
        changed = differing(after, before, self.area)
        self.expect(changed > 20, f"the {'click' if opts.click else 'drag'} changes the editor's "
                                  f"picture around it ({changed} pixels)")
        modified = False
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and not modified:
            modified = "[modified]" in self.main_title()
            time.sleep(0.25)
        self.expect(modified, "Qtractor learns of the change made in the editor (the session "
                              f"becomes modified): {self.main_title()!r}")
        if not modified:
            # Saved all the same, through a change of Qtractor's own: the
            # track's mute button, twice.
            self.toggle_mute(main)
        self.save(main)
        saved_b = session + ".b"
        shutil.copy(session, saved_b)
        b = self.saved_plugin(saved_b)
        plugin_b = b[0] if len(b) == 1 else None
        if plugin_a and plugin_b:
            others = sorted(n for n in plugin_a["params"]
                            if n != opts.param and plugin_b["params"].get(n) != plugin_a["params"][n])
            old, new = plugin_a["params"].get(opts.param), plugin_b["params"].get(opts.param)
            self.expect(new is not None and new != old,
                        f"saved again (B), the session has the new value of {opts.param}: "
                        f"{old} -> {new}")
            if others:
                self.note(f"other values that changed with it: {others}")
            if self.reference and new is not None and new != old:
                # kvb takes the parameter by its index (the CLAP id).
                self.reference_after = self.reference_picture("reference, changed",
                                                              {plugin_b["ids"][opts.param]: new})
                self.compare_reference(after, self.reference_after, "first run, changed")
            if opts.state:
                self.expect(plugin_b["state"] and plugin_b["state"] != plugin_a["state"],
                            "and another state")
        self.quit_qtractor(main)

        # A new Qtractor on B.
        self.second_run(session, saved_b, after, before)

    def toggle_mute(self, main):
        x, y, _, _ = self.geometry(main)
        for _ in range(2):
            self.click(x + 75, y + 206)
            time.sleep(0.5)

    def second_run(self, session, saved_b, changed_picture, default_picture):
        opts = self.opts
        main = self.start_qtractor(session, "second run")
        if not main:
            return
        # The plug-in's entry in the track's plug-in list: a double click
        # opens its editor.
        x, y, _, _ = self.geometry(main)
        self.click(x + 184, y + 179, repeat=2)
        frame, window = self.editor("second run")
        if window:
            pixels = self.picture_check(window, "second run")
            same = differing(pixels, changed_picture, self.area)
            as_before = differing(pixels, default_picture, self.area)
            self.expect(same == 0 and as_before > 0,
                        f"second run: the editor shows the control as it was after the change "
                        f"({same} pixels around it differ from then, {as_before} from before)")
            if self.reference:
                self.compare_reference(pixels, self.reference_after, "second run")
        self.toggle_mute(main)
        if not self.expect(self.save(main), "second run: Qtractor saves the session (C)"):
            return
        c = self.saved_plugin(session)
        b = self.saved_plugin(saved_b)
        if len(b) == 1 and len(c) == 1:
            differ = sorted((n, v, c[0]["params"].get(n)) for n, v in b[0]["params"].items()
                            if c[0]["params"].get(n) != v)
            self.expect(not differ and len(c[0]["params"]) == len(b[0]["params"]),
                        f"C has every value of B ({len(b[0]['params'])})"
                        + (f"; differing (name, B, C): {differ}" if differ else ""))
            if opts.state:
                self.expect(c[0]["state"] == b[0]["state"], "and B's state")
        else:
            self.fail(f"second run: the sessions hold {len(b)} and {len(c)} plug-ins")
        self.quit_qtractor(main)


def differing(a, b, box=None):
    """How many pixels of two pictures differ, inside box (left, top, right,
    bottom) or everywhere."""
    left, top, right, bottom = box or (0, 0, len(a[0]), len(a))
    rows = range(max(0, top), min(bottom, len(a), len(b)))
    return sum(1 for r in rows for c in range(max(0, left), min(right, len(a[r]), len(b[r])))
               if a[r][c] != b[r][c])


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build")
    parser.add_argument("--peer", action="store_true")
    for option in ("plugin", "name", "controls", "editor", "param", "click", "drag"):
        parser.add_argument("--" + option)
    parser.add_argument("--no-state", dest="state", action="store_false", default=None)
    parser.add_argument("--reference", help="kvb, to draw the editor's reference pictures")
    opts = parser.parse_args(argv[1:])
    defaults = dict(PEER if opts.peer else KVB)
    if not opts.peer:
        defaults["plugin"] = os.path.join(opts.build, "KVB.clap")
        defaults["reference"] = os.path.join(opts.build, "kvb")
    if opts.click or opts.drag:
        defaults.update(click=None, drag=None)
    for key, value in defaults.items():
        if getattr(opts, key) is None:
            setattr(opts, key, value)
    opts.plugin = os.path.abspath(opts.plugin)
    missing = [tool for tool in ("qtractor", "jackd", "jack_wait", "Xvfb", "xdotool", "xwininfo",
                                 "import", "convert") if shutil.which(tool) is None]
    if missing:
        print(f"FAIL not installed: {', '.join(missing)} (scripts/install-deps.sh installs them)")
        return 1
    if not os.path.isfile(opts.plugin):
        print(f"FAIL no plug-in {opts.plugin}")
        return 1
    started = time.monotonic()
    check = Check(opts, os.path.abspath(opts.build))
    check.run()
    print(f"qtractor clap: {check.passed} passed, {check.failed} failed "
          f"({time.monotonic() - started:.0f} s)", flush=True)
    return 0 if check.failed == 0 and check.passed > 0 else 1


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main(sys.argv))
