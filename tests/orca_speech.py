#!/usr/bin/python3
# What Orca says while a user of the keys does one whole job in the program:
# Tab through the main window, change every control, add a file with Ctrl+O,
# start with Ctrl+Return, let the batch end, start again and cancel.
# Everything runs on a display (Xvfb, openbox) and session bus of its own, with
# the accessibility bus of at-spi2-core; Orca speaks to no speech server, only
# to its debug log, whose "SPEECH OUTPUT" lines are checked.
#
#   orca_speech.py PROGRAM_DIR FAKE_ENCODER [OUT_DIR]
#
# PROGRAM_DIR is the portable program folder (pocketclips, profile.txt);
# FAKE_ENCODER stands in for ffmpeg. OUT_DIR, when given, keeps speech.txt
# (the spoken lines, each step headed by "== step"), orca.log and the AT-SPI
# tree of the main window (tree.txt). Exits 0 when every expected line was
# spoken, 1 when one is missing, 77 when a tool it needs is not installed.

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
PYTHON = "/usr/bin/python3"
TOOLS = ["orca", "Xvfb", "openbox", "xdotool", "dbus-run-session"]

# What must be spoken at each step: patterns searched in the step's lines.
EXPECTED = [
    ("start", r"Pocketclips frame"),
    ("preset", r"おまかせ combo box.*携帯標準 QCIF MPEG-4"),
    ("preset changed", r"notification (?!携帯標準 QCIF MPEG-4)\S+ (QCIF|QVGA|VGA)"),
    ("folder", r"保存先 text\. \| /\S+/out\."),
    ("frame rate", r"動画ﾌﾚｰﾑﾚｰﾄ 15 fps spin button"),
    ("frame rate changed", r"(^|\| )16 fps"),
    ("video bit rate", r"動画ﾋﾞｯﾄﾚｰﾄ \d+ kbps spin button"),
    ("video bit rate changed", r"(^|\| )\d+ kbps"),
    ("sample rate", r"音声ｻﾝﾌﾟﾙﾚｰﾄ slider \d+\. \| \d+Hz"),
    ("sample rate changed", r"notification \d+Hz"),
    ("audio bit rate", r"音声ﾋﾞｯﾄﾚｰﾄ \d+ kbps spin button"),
    ("audio bit rate changed", r"(^|\| )\d+ kbps"),
    ("size", r"ｻｲｽﾞ slider \d+\. \| \d+x\d+"),
    ("size changed", r"notification \d+x\d+"),
    ("files added", r"notification 1 ファイル"),
    ("batch", r"notification clip1\.avi -> clip1\.3gp, 5KB -> \d+KB"),
    ("batch", r"notification 5KB -> \d+KB"),
    ("batch", r"notification 変換が終わりました（1 ファイル）"),
    ("second batch", r"notification clip1\.avi -> clip1\.3gp"),
    ("cancelled", r"notification 変換が終わりました（1 ファイル）"),
]
# What must not be spoken at a step: the label twice, the path twice.
UNEXPECTED = [
    ("frame rate", r"動画ﾌﾚｰﾑﾚｰﾄ.*動画ﾌﾚｰﾑﾚｰﾄ"),
    ("folder", r"/out.*/out|selected"),
]


def missing_tools():
    missing = [t for t in TOOLS if shutil.which(t) is None]
    for path in ["/usr/libexec/at-spi-bus-launcher", PYTHON]:
        if not os.path.exists(path):
            missing.append(path)
    if not missing and subprocess.call([PYTHON, "-c", "import pyatspi"],
                                       stderr=subprocess.DEVNULL) != 0:
        missing.append("python3-pyatspi")
    return missing


def outer(argv):
    """Runs the check in a session bus of its own, and ends all it started."""
    missing = missing_tools()
    if missing:
        print("SKIP: not installed: " + ", ".join(missing))
        return SKIP
    env = dict(os.environ, PC_ORCA_INNER="1")
    for name in ["DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "NO_AT_BRIDGE", "DISPLAY",
                 "WAYLAND_DISPLAY"]:
        env.pop(name, None)
    child = subprocess.Popen(["dbus-run-session", "--", PYTHON, os.path.abspath(__file__)] + argv,
                             env=env, start_new_session=True)
    try:
        return child.wait(300)
    except subprocess.TimeoutExpired:
        print("FAIL: the run did not end")
        return 1
    finally:
        for sig in [signal.SIGTERM, signal.SIGKILL]:
            try:
                os.killpg(child.pid, sig)
            except ProcessLookupError:
                break
            time.sleep(1)
        child.wait()


# A speech server that says nothing: Orca logs every utterance in its debug
# log before it hands it to the server. The server notes them too, at once,
# for the run to wait on (the debug log is written in blocks).
SILENT_SPEECH = '''
import os
from orca import speechserver

def note(text):
    with open(os.environ["PC_ORCA_SPOKEN"], "a", encoding="utf-8") as f:
        f.write(str(text).replace("\\n", " ") + "\\n")

class SpeechServer(speechserver.SpeechServer):
    _server = None

    @staticmethod
    def getFactoryName():
        return "silent"

    @staticmethod
    def getSpeechServers():
        return [SpeechServer.getSpeechServer()]

    @staticmethod
    def getSpeechServer(info=None):
        if SpeechServer._server is None:
            SpeechServer._server = SpeechServer()
        return SpeechServer._server

    @staticmethod
    def shutdownActiveServers():
        pass

    def getInfo(self):
        return ["silent", "silent"]

    def getVoiceFamilies(self):
        return []

    def speak(self, text=None, acss=None, interrupt=True):
        note(text)

    def speakCharacter(self, character, acss=None):
        note(character)

    def speakKeyEvent(self, event, acss=None):
        note(event.getKeyName())
'''


class Run:
    def __init__(self, work, out):
        self.work = work
        self.out = out
        self.procs = []
        self.log = os.path.join(work, "orca.log")
        self.spoken_file = os.path.join(work, "spoken.txt")
        os.environ["PC_ORCA_SPOKEN"] = self.spoken_file
        self.steps = []  # (name, time it began, utterances spoken before)

    def start(self, args, **kw):
        p = subprocess.Popen(args, **kw)
        self.procs.append(p)
        return p

    def stop_all(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()

    def display(self):
        read, write = os.pipe()
        self.start(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24",
                    "-nolisten", "tcp"], pass_fds=[write], stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise RuntimeError("Xvfb gave no display")
            number += chunk
        os.close(read)
        os.environ["DISPLAY"] = ":" + number.decode().strip()
        self.start(["openbox"], stderr=subprocess.DEVNULL)

    def orca(self):
        prefs = os.path.join(self.work, "orca")
        os.makedirs(prefs)
        with open(os.path.join(prefs, "pc_silent_speech.py"), "w") as f:
            f.write(SILENT_SPEECH)
        general = {"speechServerFactory": "pc_silent_speech", "enableSpeech": True,
                   "enableBraille": False, "enableSound": False, "enableTutorialMessages": False}
        with open(os.path.join(prefs, "user-settings.conf"), "w") as f:
            json.dump({"general": general, "profiles": {"default": dict(
                general, profile=["Default", "default"])}, "pronunciations": {},
                "keybindings": {}}, f)
        self.start(["orca", "--user-prefs", prefs, "--debug-file", self.log],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not self.wait_for_speech("Orca", r"Screen reader on", 60):
            raise RuntimeError("Orca did not start")

    def spoken(self):
        """What the silent server has been given so far, one utterance a line."""
        try:
            with open(self.spoken_file, encoding="utf-8", errors="replace") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def wait_for_speech(self, what, pattern, ceiling=30):
        since = self.steps[-1][2] if self.steps else 0
        end = time.monotonic() + ceiling
        while time.monotonic() < end:
            if any(re.search(pattern, line) for line in self.spoken()[since:]):
                return True
            time.sleep(0.2)
        print("timed out waiting for %s (%s)" % (what, pattern))
        return False

    def settle(self, quiet=1.2, ceiling=8):
        """Waits until Orca has said nothing new for a while."""
        end = time.monotonic() + ceiling
        count, last = len(self.spoken()), time.monotonic()
        while time.monotonic() < end and time.monotonic() - last < quiet:
            time.sleep(0.1)
            now = len(self.spoken())
            if now != count:
                count, last = now, time.monotonic()

    def step(self, name, keys=None, settle=True):
        self.steps.append((name, time.time(), len(self.spoken())))
        for key in (keys or "").split():
            subprocess.check_call(["xdotool", "key", "--clearmodifiers", key])
            time.sleep(0.2)
        if settle:
            self.settle()

    def type_text(self, text):
        subprocess.check_call(["xdotool", "type", "--delay", "20", text])

    def spoken_by_step(self):
        """Orca's "SPEECH OUTPUT" lines of its debug log, by the step during
        which they were spoken (the log's times are the local time of day)."""
        lines = []
        with open(self.log, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = re.match(r"(\d\d):(\d\d):(\d\d\.\d+) - SPEECH OUTPUT: '(.*?)'"
                             r"(?: voice=\w+)? ?\{.*\}$", line)
                if m:
                    at = int(m.group(1)) * 3600 + int(m.group(2)) * 60 + float(m.group(3))
                    lines.append((at, m.group(4)))
        def of_day(t):
            lt = time.localtime(t)
            return lt.tm_hour * 3600 + lt.tm_min * 60 + lt.tm_sec + (t % 1)
        marks = [(name, of_day(t)) for name, t, _ in self.steps] + [("", 1e9)]
        return [(name, [text for at, text in lines if begin <= at < end])
                for (name, begin), (_, end) in zip(marks, marks[1:])]


def dump_tree(path, pid):
    """The program's accessible tree as pyatspi reads it, one node a line."""
    script = r'''
import sys, pyatspi
pid, path = int(sys.argv[1]), sys.argv[2]
def value(a):
    try:
        v = a.queryValue()
        return "%g [%g..%g]" % (v.currentValue, v.minimumValue, v.maximumValue)
    except NotImplementedError:
        return ""
def text(a):
    try:
        t = a.queryText()
        return t.getText(0, -1)
    except NotImplementedError:
        return ""
with open(path, "w", encoding="utf-8") as out:
    def walk(a, depth):
        out.write("  " * depth + "\t".join([a.getRoleName(), a.name, a.description, value(a),
                                             text(a)]) + "\n")
        for c in a:
            if c is not None:
                walk(c, depth + 1)
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            walk(app, 0)
'''
    subprocess.call([PYTHON, "-c", script, str(pid), path], timeout=60)


def inner(argv):
    program_dir, fake_encoder = argv[0], argv[1]
    out = argv[2] if len(argv) > 2 else None
    work = tempfile.mkdtemp(prefix="orca-speech-")
    run = Run(work, out)
    failures = []
    started = time.monotonic()
    try:
        run.display()
        run.orca()

        app = os.path.join(work, "app")
        os.makedirs(app)
        for name in ["pocketclips", "profile.txt"]:
            shutil.copy2(os.path.join(program_dir, name), app)
        os.symlink(fake_encoder, os.path.join(app, "ffmpeg"))
        out_folder = os.path.join(work, "out")
        with open(os.path.join(app, "Pocketclips.ini"), "w", encoding="utf-8") as f:
            f.write("[SET2]\nC0=1\nC11=%s\n" % out_folder)
        clip = os.path.join(work, "clip1.avi")
        with open(clip, "wb") as f:
            f.write(b"x" * 5000)
        rules = os.path.join(work, "rules.txt")
        # The first batch's file takes 12 s, long enough for the sizes to be
        # spoken again; the second batch's runs until it is cancelled.
        with open(rules, "w") as f:
            f.write("_thumb.jpg\tnowrite\nclip1.3gp\tgrow 12000\n")
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
                   FAKE_ENCODER_RULES=rules, FAKE_ENCODER_LOG=os.path.join(work, "encoder.log"))
        wrapper = os.environ.get("PC_ORCA_WRAPPER", "").split()
        program = run.start(wrapper + [os.path.join(app, "pocketclips")], env=env,
                            stderr=open(os.path.join(work, "program.log"), "w"))

        run.step("start", settle=False)
        run.wait_for_speech("the main window", r"Pocketclips", 60)
        run.settle()
        # The chain from the drop panel: preset, folder, two options, the
        # settings area.
        run.step("preset", "Tab")
        run.step("preset changed", "Down")
        run.step("folder", "Tab")
        run.step("two-pass", "Tab")
        # On and off again: a cancel ends one pass, and the batch goes on
        # with the next.
        run.step("two-pass changed", "space")
        run.step("two-pass changed back", "space")
        run.step("mono", "Tab")
        for control in ["frame rate", "video bit rate", "sample rate", "audio bit rate"]:
            run.step(control, "Tab")
            run.step(control + " changed", "Up")
        run.step("size", "Tab")
        run.step("size changed", "Right")
        if out:
            dump_tree(os.path.join(out, "tree.txt"), program.pid)

        # Ctrl+O: Qt's file dialog, its name field focused; the file typed in.
        run.step("file dialog", "ctrl+o")
        run.type_text(clip)
        run.settle()
        run.step("files added", "Return")

        run.step("batch", "ctrl+Return", settle=False)
        run.wait_for_speech("the end of the batch", r"変換が終わりました", 60)
        run.settle()

        with open(rules, "w") as f:
            f.write("_thumb.jpg\tnowrite\nclip1.3gp\thang\n")
        run.step("second batch", "ctrl+Return", settle=False)
        # Cancel once the encoder runs: the names are said at the first tick.
        run.wait_for_speech("the second batch's file", r"clip1\.avi -> clip1\.3gp", 30)
        time.sleep(1.5)
        # Space on the focused cancel button.
        run.step("cancelled", "space", settle=False)
        run.wait_for_speech("the end of the cancelled batch", r"変換が終わりました", 15)
        run.settle()
        run.steps.append(("end", time.time(), len(run.spoken())))
        if program.poll() is not None:
            failures.append("the program ended during the job, exit code %d" % program.returncode)
    except Exception as error:
        failures.append("run failed: %s" % error)
    finally:
        # Orca writes the rest of its debug log as it ends.
        run.stop_all()

    try:
        spoken = run.spoken_by_step()
    except FileNotFoundError:
        spoken = []
        failures.append("Orca wrote no debug log")
    for name, pattern in EXPECTED:
        lines = [l for n, ls in spoken if n == name for l in ls]
        if not re.search(pattern, " | ".join(lines)):
            failures.append("%s: nothing like /%s/ in %s" % (name, pattern, lines))
    for name, pattern in UNEXPECTED:
        said = " | ".join(l for n, ls in spoken if n == name for l in ls)
        if re.search(pattern, said):
            failures.append("%s: spoke %r" % (name, said))
    # Calm: within the 12-second file the sizes are said at most twice after
    # the file's start.
    sizes = [l for n, ls in spoken if n == "batch" for l in ls if re.search(r"^notification.*KB$", l)]
    if len(sizes) > 3:
        failures.append("batch: sizes spoken %d times: %s" % (len(sizes), sizes))
    if out:
        with open(os.path.join(out, "speech.txt"), "w", encoding="utf-8") as f:
            for name, lines in spoken:
                f.write("== %s\n" % name)
                f.writelines(l + "\n" for l in lines)
        for name in ["orca.log", "program.log", "encoder.log"]:
            if os.path.exists(os.path.join(work, name)):
                shutil.copy(os.path.join(work, name), out)
    shutil.rmtree(work, ignore_errors=True)

    print("run time %.1f s" % (time.monotonic() - started))
    for f in failures:
        print("FAIL: " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) < 3:
        print(__doc__ if __doc__ else "usage: orca_speech.py PROGRAM_DIR FAKE_ENCODER [OUT_DIR]")
        sys.exit(2)
    if os.environ.get("PC_ORCA_INNER"):
        sys.exit(inner(sys.argv[1:]))
    sys.exit(outer(sys.argv[1:]))
