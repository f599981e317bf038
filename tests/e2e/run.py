#!/usr/bin/env python3
"""End-to-end checks of the real binary, as rows of tables.

    run.py GROUP BINARY SOURCE_DIR BUILD_DIR ARTIFACTS_DIR    (GROUP: cli, terminal, desktop, speech)

Every run of the program gets settings, runtime and home directories of its own and none of the
caller's languages, Qt variables or session bus. Output is read as it comes, against a deadline.
Prints one line per check and "N passed, N failed"; exits 0 when nothing failed, 77 when the
group's tools are missing."""
import collections
import concurrent.futures
import contextlib
import glob
import json
import os
import random
import re
import shutil
import signal
import subprocess as sp
import sys
import tempfile
import threading
import time

GROUP, BIN, SOURCE, BUILD, ARTIFACTS = sys.argv[1:6]
WORK = tempfile.mkdtemp(prefix="vd-e2e-")
PRINTING = threading.Lock()
COUNTS = [0, 0]
PROCS = []  # everything started, ended when the group ends
IMMUTABLE = []  # paths given the immutable attribute, released when the group ends
APP_ID = "io.github.variredu_divar.VarireduDivar"


def check(name, expected, seen, ok=None):
    ok = expected == seen if ok is None else ok
    with PRINTING:
        COUNTS[not ok] += 1
        print(f"PASS {name}" if ok else f"FAIL {name}\n    expected: {expected!r}\n    seen:     {seen!r}",
              flush=True)
    return ok


def until(look, timeout):
    """What LOOK() gives once it is something, looking every 0.1 s; what it gives at the deadline."""
    end = time.monotonic() + timeout
    while not (seen := look()) and time.monotonic() < end:
        time.sleep(0.1)
    return seen


def at(hour, minute, second, day=19000):
    """Real seconds since the epoch, as --at takes them, of a Valdrian time of day."""
    return repr((day * 86400 + hour * 3600 + minute * 60 + second) * 7 / 144)


def home(name, conf=None, lang="en_US.UTF-8", **extra):
    """Directories of a run's own; returns its environment and its settings file (written from CONF)."""
    root = os.path.join(WORK, name)
    os.makedirs(root + "/config/variredu-divar")
    os.makedirs(root + "/run", 0o700)
    os.mkdir(root + "/home")
    path = root + "/config/variredu-divar/variredu-divar.conf"
    if conf is not None:
        with open(path, "wb") as f:
            f.write(conf)
    env = {k: v for k, v in os.environ.items() if k in ("PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
    env.update(HOME=root + "/home", XDG_CONFIG_HOME=root + "/config", XDG_RUNTIME_DIR=root + "/run",
               DBUS_SESSION_BUS_ADDRESS=f"unix:path={root}/no-bus", LANG=lang, **extra)
    return env, path


def run(args, env=None, timeout=30):
    """Runs to the end: (status, stdout lines, stderr lines)."""
    r = sp.run(args, env=env, stdin=sp.DEVNULL, capture_output=True, timeout=timeout)
    return r.returncode, r.stdout.decode(errors="replace").splitlines(), r.stderr.decode(errors="replace").splitlines()


class Proc:
    """The binary running in the background; its output lines are collected as they come."""

    def __init__(self, args, env):
        self.p = sp.Popen([BIN, *args], env=env, stdin=sp.DEVNULL, stdout=sp.PIPE, stderr=sp.PIPE)
        PROCS.append(self.p)
        self.out, self.err, self.ended, self.cv = [], [], 0, threading.Condition()
        for pipe, lines in ((self.p.stdout, self.out), (self.p.stderr, self.err)):
            threading.Thread(target=self._read, args=(pipe, lines), daemon=True).start()

    def _read(self, pipe, lines):
        for raw in pipe:
            with self.cv:
                lines.append(raw.decode(errors="replace").rstrip("\n"))
                self.cv.notify_all()
        with self.cv:
            self.ended += 1
            self.cv.notify_all()

    def wait_for(self, line, stream="out", timeout=30):
        """True once LINE is printed; false when the output ends or the deadline passes first."""
        lines = getattr(self, stream)
        with self.cv:
            return self.cv.wait_for(lambda: line in lines or self.ended == 2, timeout) and line in lines

    def stop(self, sig=signal.SIGTERM, timeout=5):
        """Sends SIG (if any); the exit status, or "hung" when it did not end within TIMEOUT seconds."""
        if sig and self.p.poll() is None:
            self.p.send_signal(sig)
        try:
            status = self.p.wait(timeout)
        except sp.TimeoutExpired:
            self.p.kill()
            status = "hung"
        with self.cv:
            self.cv.wait_for(lambda: self.ended == 2, 5)
        return status


def read(path):
    with contextlib.suppress(OSError), open(path, "rb") as f:
        return f.read()


def ini_text(text):
    """A text as a value in a Qt settings file."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def ini_value(path, key):
    """The text stored under KEY as Qt reads it back (quoted texts with escapes), or None."""
    lines = (read(path) or b"").decode(errors="surrogateescape").splitlines()
    value = next((line[len(key) + 1:] for line in lines if line.startswith(key + "=")), None)
    quoted = value and re.fullmatch(r'"((?:[^"\\]|\\.)*)"', value)
    escapes = {"n": "\n", "t": "\t", "r": "\r", "0": "\0"}
    return re.sub(r"\\(x[0-9a-fA-F]+|.)", lambda m: chr(int(m[1][1:], 16)) if m[1][0] == "x" and len(m[1]) > 1
                  else escapes.get(m[1], m[1]), quoted[1]) if quoted else value


def alarm(i, hour, minutes, title="", enabled=True):
    return {"id": f"{i:08X}-0000-4000-8000-{i:012X}", "hour": hour, "minutes": minutes, "title": title,
            "enabled": enabled}


def conf(alarms=None, time_signal=False):
    """A settings file: the time signal switch and the alarm list (a list, or a text as it is)."""
    lines = ["[General]"] + ["enableTimeSignal=true"] * time_signal
    if alarms is not None:
        text = alarms if isinstance(alarms, str) else json.dumps(alarms, ensure_ascii=False, separators=(",", ":"))
        lines.append("alarms=" + ini_text(text))
    return ("\n".join(lines) + "\n").encode()


def readonly(path):
    """Makes PATH unwritable for the program: chmod for a user, the immutable attribute for root."""
    if os.geteuid() != 0:
        os.chmod(path, 0o555 if os.path.isdir(path) else 0o444)
        return "chmod"
    sp.run(["chattr", "+i", path], check=True)
    IMMUTABLE.append(path)
    return "chattr +i"


# ---- cli ------------------------------------------------------------------------------------------

ONCE = [  # --at, the label; run where the local zone is +14:00, which must not matter
    ("1704067225", "07:00"), ("1704067224.9", "06:59"), ("-0.5", "23:59"), ("+1704067225.000", "07:00"),
    ("2024-01-01T00:00:24.9Z", "06:59"), ("2024-01-01T00:00:25Z", "07:00"),
    ("2024-01-01T09:00:25+09:00", "07:00"), ("2023-12-31T19:00:25-05:00", "07:00"),
    ("448000000000000000", "16:17")]
NEXT = [  # TZ, arguments, the lines printed
    ("UTC", "--next 07:00 --at 1704067200", ["2024-01-01T00:00:25.000+00:00"]),
    ("Asia/Tokyo", "--next 7:00 --count 3 --at 2024-01-01T00:00:00Z",
     ["2024-01-01T09:00:25.000+09:00", "2024-01-01T10:10:25.000+09:00", "2024-01-01T11:20:25.000+09:00"]),
    ("America/St_Johns", "--next 07:00 --at 1704067200", ["2023-12-31T20:30:25.000-03:30"])]
ACCEPTED = ["--next 23:59 --count 1000 --at 253370764800", "--next 0:00 --at -62135596800",
            "--once --at -448000000000000000"]
BAD = [  # arguments, what the one line on stderr names
    ("--once --at abc", '"abc"'), ("--once --at nan", '"nan"'), ("--once --at inf", '"inf"'),
    ("--once --at 1e5", '"1e5"'), ("--once --at 449000000000000000", '"449000000000000000"'),
    ("--once --at -449000000000000000", '"-449000000000000000"'),
    ("--once --at 2024-01-01T00:00:00", '"2024-01-01T00:00:00"'),
    ("--once --at 2024-13-01T00:00:00Z", '"2024-13-01T00:00:00Z"'), ("--next 24:00", '"24:00"'),
    ("--next 12:60", '"12:60"'), ("--next 1200", '"1200"'), ("--next 12:00 --count 0", '"0"'),
    ("--next 12:00 --count 1001", '"1001"'), ("--next 12:00 --count ten", '"ten"'),
    ("--next 12:00 --at 1e20", '"1e20"'), ("--next 12:00 --at 300000000000", '"300000000000"'),
    ("--next 12:00 --at -62135596801", '"-62135596801"'), ("--count 3", "--count"), ("--at 0", "--at"),
    ("--once --next 12:00", "--once"), ("--terminal --speech-engine loud", '"loud"'),
    ("--terminal --speech-engine qt:", '"qt:"'), ("--bogus", "bogus"), ("--once extra", '"extra"')]
INSTALLED = ["bin/variredu-divar", f"share/applications/{APP_ID}.desktop", f"share/metainfo/{APP_ID}.metainfo.xml",
             f"share/icons/hicolor/scalable/apps/{APP_ID}.svg", f"share/icons/hicolor/48x48/apps/{APP_ID}.png",
             "share/variredu-divar/translations/variredu-divar_en.qm"]


def vt_label(seconds):
    return "VT: %02d:%02d" % divmod(int(seconds * 144 // 7) % 86400 // 60, 60)


def cli():
    env, _ = home("cli", TZ="Pacific/Kiritimati")
    for instant, label in ONCE:
        check(f"--once --at {instant}", ["VT: " + label], run([BIN, "--once", "--at", instant], env)[1])
    before, (_, out, _), after = time.time(), run([BIN, "--once"], env), time.time()
    check("--once reads the clock now", {vt_label(before), vt_label(after)}, out, len(out) == 1 and out[0] in
          {vt_label(before), vt_label(after)})
    for tz, args, lines in NEXT:
        check(f"TZ={tz} {args}", lines, run([BIN, *args.split()], dict(env, TZ=tz))[1])
    for args in ACCEPTED:
        status, out, err = run([BIN, *args.split()], env)
        check(f"{args}: accepted", (0, []), (status, err), status == 0 and out and not err)
    for args, named in BAD:
        seen = run([BIN, *args.split()], env)
        check(f"{args}: status 2, nothing on stdout, one line on stderr naming {named}", (2, [], [named]), seen,
              seen[:2] == (2, []) and len(seen[2]) == 1 and named in seen[2][0])
    status, out, _ = run([BIN, "--help"], env)
    options = ["--once", "--at", "--next", "--count", "--terminal", "--speech-engine", "--help", "--version"]
    check("--help lists every option", (0, []), (status, [o for o in options if o not in "\n".join(out)]))
    check("--version", (0, ["variredu-divar 0.1.0"]), run([BIN, "--version"], env)[:2])
    # The desktop's own validators, and an install into a scratch prefix.
    tools = {"desktop-file-validate": glob.glob(f"{SOURCE}/data/*.desktop") + glob.glob(f"{BUILD}/data/autostart/*.desktop"),
             "appstreamcli": glob.glob(f"{SOURCE}/data/*.metainfo.xml")}
    for tool, files in tools.items():
        for path in files if shutil.which(tool) else []:
            args = [tool, path] if tool != "appstreamcli" else [tool, "validate", "--no-net", path]
            status, out, err = run(args)
            check(f"{tool} {'/'.join(path.split('/')[-2:])}", 0, status, status == 0 and (tool == "appstreamcli" or not out + err))
        if not shutil.which(tool):
            print(f"NOTE {tool} is not installed: its check is skipped")
    prefix = WORK + "/prefix"
    status, _, err = run(["cmake", "--install", BUILD, "--prefix", prefix])
    check("cmake --install places every file", (0, []), (status, [p for p in INSTALLED if not os.path.isfile(f"{prefix}/{p}")]))
    if shutil.which("appstreamcli"):
        check("appstreamcli validate-tree of the installed tree", 0, run(["appstreamcli", "validate-tree", "--no-net", prefix])[0])


# ---- terminal -------------------------------------------------------------------------------------

SEVEN = at(6, 59, 30)  # the clock wakes once a second, about 20.6 Valdrian seconds: 07:01 after 4.4 s
LABELS = ["VT: 06:59", "VT: 07:00", "VT: 07:01"]
SPOKEN = [alarm(1, "07", "00"), alarm(2, "07", "00", "off", False), alarm(3, "7", "0", "釣り\nへ")]


def said(lang, *texts):
    return [f"{lang}\t{text}" for text in texts]


EN = ["VT: 06:59", *said("en-US", "7 V.T. o'clock.", "7 hours 0 minutes.", "釣り\\nへ"), *LABELS[1:]]


def big_list():
    """10 MB of alarms due at 07:00, all valid but the last: unreadable as a whole."""
    items = [f'{{"id":"{i:08X}-1111-4000-8000-{i:012X}","hour":"07","minutes":"00",'
             f'"title":"釣り \\"{i}\\" ;# \\\\ x","enabled":true}}' for i in range(85000)]
    return "[" + ",".join(items) + ',{"id":"not-a-uuid","hour":"07","minutes":"00","title":"","enabled":true}]'


def list10k():
    """10,000 alarms, none at a minute 59; every other thousand off."""
    return [alarm(i, "%02d" % (i // 59 % 24), "%02d" % (i % 59), f"a{i}", i // 1000 % 2 == 0) for i in range(10000)]


def due(alarms, hour, minute):
    return [f"en-US\t{a['title']}" for a in alarms if a["enabled"] and (int(a["hour"]), int(a["minutes"])) == (hour, minute)]


def garbage():
    """An unreadable alarms line, then lines of printable characters, kana, quotes and backslashes."""
    chars = [chr(c) for c in range(32, 127)] + ["\t", "釣り"]
    rng = random.Random(7)
    lines = ["".join(rng.choice(chars) for _ in range(rng.randrange(90))) for _ in range(300)]
    return ("alarms=" + ini_text(BROKEN) + "\n" + "\n".join(lines) + "\n").encode()


BROKEN = '[{"id": oops, "hour": 7} ;# \\ 釣り'
BINARY = b"alarms=" + bytes(b for b in range(256) if b not in b"\r\n") + b"\n" + bytes(
    (i * 167 + (i >> 8) * 13) & 255 for i in range(65536))


def terminal_rows():
    """name, settings, LANG, stdout up to VT: 07:01, stderr, what is made read-only."""
    tens = list10k()
    return [
        ("en_US: time signal and alarms, each said once", conf(SPOKEN, True), "en_US.UTF-8", EN, [], None),
        ("ja_JP: time signal and alarms, each said once", conf(SPOKEN, True), "ja_JP.UTF-8",
         ["VT: 06:59", *said("ja-JP", "7 ヴァルドリア時間", "7 時 0 分", "釣り\\nへ"), *LABELS[1:]], [], None),
        ("garbage text", garbage(), "en_US.UTF-8", LABELS, [], None),
        ("binary bytes", BINARY, "en_US.UTF-8", LABELS, [], None),
        ("10 MB alarm text, its last element bad", conf(big_list(), True), "en_US.UTF-8",
         ["VT: 06:59", "en-US\t7 V.T. o'clock.", *LABELS[1:]], [], None),
        ("JSON nested 100,000 deep", conf("[" * 100000 + "]" * 100000, True), "en_US.UTF-8",
         ["VT: 06:59", "en-US\t7 V.T. o'clock.", *LABELS[1:]], [], None),
        ("10,000 alarms", conf(tens), "en_US.UTF-8",
         ["VT: 06:59", *due(tens, 7, 0), "VT: 07:00", *due(tens, 7, 1), "VT: 07:01"], [], None),
        ("read-only settings file", conf([alarm(1, "07", "00", "kept")]), "en_US.UTF-8",
         ["VT: 06:59", "en-US\tkept", *LABELS[1:]], ["can't be saved"], "file"),
        ("read-only settings directory", conf([alarm(1, "07", "00", "kept")]), "en_US.UTF-8",
         ["VT: 06:59", "en-US\tkept", *LABELS[1:]], ["can't be saved"], "dir")]


def terminal_row(name, settings, lang, out, err, locked):
    env, path = home(re.sub(r"\W+", "-", name), settings, lang)
    if locked:
        how = readonly(path if locked == "file" else os.path.dirname(path))
        name += f" ({how})"
        err = [f"variredu-divar: settings can't be saved to {path}; changes will be lost"]
    p = Proc(["--terminal", "--at", SEVEN, "--speech-engine", "stdout"], env)
    p.wait_for("VT: 07:01")
    status = p.stop()
    check(f"terminal, {name}: ticks to 07:01, says what is due, ends with 0, file unchanged",
          (out, err, 0, True), (p.out, p.err, status, read(path) == settings))


def lock_row():
    """A clock killed with SIGKILL leaves its lock; the next takes it over and speaks, a third
    started while that one runs prints labels only and says it will not speak."""
    env, _ = home("lock", conf(SPOKEN, True))
    args = ["--terminal", "--at", SEVEN, "--speech-engine", "stdout"]
    killed = Proc(args, env)
    killed.wait_for("VT: 06:59")
    killed.p.kill()
    killed.p.wait()
    left = os.path.exists(env["XDG_RUNTIME_DIR"] + "/variredu-divar.lock")
    second = Proc(args, env)
    second.wait_for("VT: 06:59")
    third = Proc(args, env)
    third.wait_for("VT: 07:01")
    second.wait_for("VT: 07:01")
    statuses = (second.stop(), third.stop(signal.SIGINT))
    check("terminal, a stale lock is taken over; a clock started beside it does not speak; SIGTERM and SIGINT "
          "end them with 0", (True, EN, [], LABELS, True, (0, 0)),
          (left, second.out, second.err, third.out, any("will not speak" in e for e in third.err), statuses))


def terminal():
    together([lambda r=r: terminal_row(*r) for r in terminal_rows()] + [lock_row])


# ---- desktop ----------------------------------------------------------------------------------------

Win = collections.namedtuple("Win", "id embedded title x y w h")
WINDOW_LINE = re.compile(r'^( +)(0x[0-9a-f]+) "(.*)": \("variredu-divar" .*?(\d+)x(\d+)[+-]+\d+[+-]+\d+ +\+(-?\d+)\+(-?\d+)$', re.M)
ICON = lambda w: w.embedded  # noqa: E731  (what each kind of window of the program looks like)
MENU = lambda w: not w.embedded and w.title != "アラーム設定" and w.h >= 60  # noqa: E731
SETTINGS = lambda w: w.title == "アラーム設定"  # noqa: E731
LABEL = lambda w: not w.embedded and w.h < 60  # noqa: E731


def x(display, *args):
    return sp.run(args, env=dict(os.environ, DISPLAY=display), stdin=sp.DEVNULL, capture_output=True, timeout=30).stdout


def xvfb():
    """A virtual display on a free number, named by Xvfb once it takes connections."""
    r, w = os.pipe()
    PROCS.append(sp.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "800x600x24", "-nolisten", "tcp"],
                          pass_fds=[w], stdout=sp.DEVNULL, stderr=sp.DEVNULL))
    os.close(w)
    with os.fdopen(r) as f:
        return ":" + f.readline().strip()


def find(display, kind):
    """The program's viewable windows of a kind."""
    shown = {int(i) for i in x(display, "xdotool", "search", "--onlyvisible", "--class", "variredu-divar").split()}
    tree = x(display, "xwininfo", "-root", "-tree").decode(errors="replace")
    wins = [Win(int(m[2], 16), len(m[1]) > 5, m[3], int(m[6]), int(m[7]), int(m[4]), int(m[5]))
            for m in WINDOW_LINE.finditer(tree)]
    return [w for w in wins if w.id in shown and kind(w)]


def shot(display, w):
    return x(display, "import", "-silent", "-window", "root", "-crop", f"{w.w}x{w.h}+{w.x}+{w.y}", "rgb:-")


def drawn(picture):
    return picture if len({picture[i:i + 3] for i in range(0, len(picture), 3)}) > 2 else None


def changes(display, w, timeout=10):
    """True once the picture of W, drawn (more than two colours), changes."""
    first = until(lambda: drawn(shot(display, w)), timeout)
    return bool(first and until(lambda: shot(display, w) != first, timeout))


def keep(display, name):
    os.makedirs(ARTIFACTS, exist_ok=True)
    x(display, "import", "-silent", "-window", "root", f"{ARTIFACTS}/{name}.png")


def choose(display, w, keys, picture=None):
    """Opens the menu with a click on W and chooses from the keyboard, the pointer off the menu."""
    x(display, "xdotool", "mousemove", str(w.x + w.w // 2), str(w.y + w.h // 2), "click", "1")
    menu = until(lambda: find(display, MENU), 5)
    if menu and picture:
        keep(display, picture)
    x(display, "xdotool", "mousemove", "400", "500", "key", *keys)
    return bool(menu)


def close(display, window, add=False):
    """Ctrl+W on the settings window, after a click on its add button when ADD; true once it has
    closed (and so the click was handled too)."""
    if not window:
        return False
    w = str(window[0].id)
    x(display, "xdotool", *["mousemove", "--window", w, "60", "25", "click", "1"] * add, "windowfocus", "--sync", w,
      "key", "ctrl+w")
    return until(lambda: not find(display, SETTINGS), 10)


def desktop_clock(name, display, settings=None):
    env, path = home(name, settings, "ja_JP.UTF-8", DISPLAY=display)
    return env, path, Proc(["--speech-engine", "none"], env)


def launch(env):
    """A later launch, once the first listens: it asks that one to show its alarm settings window."""
    until(lambda: os.path.exists(env["XDG_RUNTIME_DIR"] + "/variredu-divar.socket"), 30)
    return run([BIN, "--speech-engine", "none"], env, 10)[0]


def tray_lane():
    display = xvfb()
    PROCS.append(sp.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
                           "--SetDockType", "true", "--expand", "true"], env=dict(os.environ, DISPLAY=display),
                          stdout=sp.DEVNULL, stderr=sp.DEVNULL))
    until(lambda: x(display, "xdotool", "search", "--onlyvisible", "--class", "trayer"), 10)
    env, path, p = desktop_clock("tray", display)
    icon = until(lambda: find(display, ICON), 30)
    if not check("desktop: the icon is embedded in the tray", True, bool(icon)):
        return p.stop()
    icon = icon[0]
    check("desktop: the icon changes with the Valdrian minute", True, changes(display, icon))
    keep(display, "tray")
    check("desktop: a click on the icon opens the menu", True, choose(display, icon, ["Down", "Return"], "menu"))
    check("desktop: 時報 stores enableTimeSignal=true at once", "true",
          until(lambda: ini_value(path, "enableTimeSignal"), 5))
    choose(display, icon, ["Up"] * 4 + ["Return"])
    window = until(lambda: find(display, SETTINGS), 10)
    keep(display, "window")
    status = launch(env)
    check("desktop: アラーム設定 opens one window; a second launch exits 0; Ctrl+W closes the one window", (1, 0, True),
          (len(window), status, close(display, window)))
    status = launch(env)
    check("desktop: a second launch exits 0 and shows the closed window again", (0, 1),
          (status, len(until(lambda: find(display, SETTINGS), 10))))
    choose(display, icon, ["Up", "Return"])
    check("desktop: Quit ends it with status 0", 0, p.stop(None, 10))
    many_row(display)


def many_row(display):
    tens = list10k()
    env, path, p = desktop_clock("many", display, conf(tens))
    icon = until(lambda: find(display, ICON), 30)
    opening = sp.Popen([BIN, "--speech-engine", "none"], env=env, stdout=sp.DEVNULL, stderr=sp.DEVNULL)
    ticking = bool(icon) and changes(display, icon[0]) and changes(display, icon[0])
    window = until(lambda: find(display, SETTINGS), 30)
    check("desktop, 10,000 alarms: the window opens while the icon keeps changing", (True, 0, 1),
          (ticking, opening.wait(30), len(window)))
    closed = close(display, window, True)
    saved = json.loads(ini_value(path, "alarms"))
    ids = {a["id"] for a in tens}
    check("desktop, 10,000 alarms: an added alarm is saved and all 10,000 are kept; SIGTERM ends it with 0",
          (True, 10001, True, 0), (closed, len(saved), [a for a in saved if a["id"] in ids] == tens, p.stop()))


def stored_lane():
    display = xvfb()
    original = garbage()
    env, path, p = desktop_clock("garbage", display, original)
    status = launch(env)
    window = until(lambda: find(display, SETTINGS), 30)
    closed = close(display, window, True)
    check("desktop, garbage settings: the window opens on an empty list, an added alarm is saved, the unreadable "
          "text kept in alarmsBackup, the whole file beside it", (0, True, 1, BROKEN, True, 0, []),
          (status, closed, len(json.loads(ini_value(path, "alarms"))), ini_value(path, "alarmsBackup"),
           read(path + ".unreadable") == original,
           p.stop(), p.err))
    settings = conf([alarm(1, "07", "00", "kept")])
    env, path = home("readonly-desktop", settings, "ja_JP.UTF-8", DISPLAY=display)
    how = readonly(path)
    p = Proc(["--speech-engine", "none"], env)
    message = f"variredu-divar: settings can't be saved to {path}; changes will be lost"
    p.wait_for(message, "err")
    status = launch(env)
    window = until(lambda: find(display, SETTINGS), 30)
    closed = close(display, window, True)
    check(f"desktop, read-only settings file ({how}): says so once; an add in the window leaves the file as it was",
          (0, True, True, 0, [message]), (status, closed, read(path) == settings, p.stop(), p.err))


def label_lane():
    display = xvfb()
    _, _, p = desktop_clock("label", display)
    label = until(lambda: find(display, LABEL), 45)
    if check("desktop without a tray: the label window appears", True, bool(label)):
        keep(display, "label")
        above = "_NET_WM_STATE_ABOVE" in x(display, "xprop", "-id", str(label[0].id), "_NET_WM_STATE").decode()
        check("desktop without a tray: the label window stays on top and follows the minute", (True, True),
              (above, changes(display, label[0])))
        check("desktop without a tray: a click on the label window opens the menu", True,
              choose(display, label[0], ["Escape"]))
    check("desktop without a tray: SIGTERM ends it with status 0", 0, p.stop())


def desktop():
    together([tray_lane, stored_lane, label_lane])


# ---- speech ---------------------------------------------------------------------------------------

SPEECH = [  # LANG, settings, what speech-dispatcher is asked to say, in order ("slow" keeps it speaking)
    ("en_US.UTF-8", conf([alarm(1, "07", "00"), alarm(2, "07", "00", "Fishing")], True),
     ["en 7 V.T. o'clock.", "en 7 hours 0 minutes.", "en Fishing"]),
    ("en_US.UTF-8", conf([alarm(1, "07", "00", "slow")], True), ["en 7 V.T. o'clock.", "en slow"])]
SPEECHD_CONF = """AudioOutputMethod "alsa"
AddModule "capture" "sd_generic" "capture.conf"
DefaultModule capture
LanguageDefaultModule "en" "capture"
LanguageDefaultModule "ja" "capture"
"""
CAPTURE_CONF = """GenericExecuteSynth "echo $LANGUAGE \\'$DATA\\' >> {}; case \\'$DATA\\' in slow) sleep 60;; esac"
GenericDelimiters "|"
GenericLanguage "en" "en" "utf-8"
GenericLanguage "ja" "ja" "utf-8"
AddVoice "en" "MALE1" "en"
AddVoice "ja" "MALE1" "ja"
"""


def speech():
    if not glob.glob("/usr/lib/*/qt6/plugins/texttospeech/*speechd*"):
        print("SKIP speech: Qt's speechd plugin is not installed (qt6-speech-speechd-plugin)")
        return 77
    env, path = home("speech")
    config, heard = env["XDG_CONFIG_HOME"] + "/speech-dispatcher", WORK + "/heard"
    os.makedirs(config + "/modules")
    with open(config + "/speechd.conf", "w") as f:
        f.write(SPEECHD_CONF)
    with open(config + "/modules/capture.conf", "w") as f:
        f.write(CAPTURE_CONF.format(heard))
    with open(env["HOME"] + "/.asoundrc", "w") as f:  # the module opens a sound device, never used
        f.write("pcm.!default { type null }\nctl.!default { type null }\n")
    try:
        for lang, settings, texts in SPEECH:
            with open(path, "wb") as f:
                f.write(settings)
            open(heard, "w").close()
            p = Proc(["--terminal", "--at", SEVEN, "--speech-engine", "qt:speechd"], dict(env, LANG=lang))
            until(lambda: (read(heard) or b"").count(b"\n") >= len(texts) and "VT: 07:01" in p.out, 60)
            status = p.stop()
            check(f"speech, {lang}: speech-dispatcher is asked to say {len(texts)} texts, in order, each once; "
                  "SIGTERM ends the clock with 0 within 5 s", (texts, 0), (read(heard).decode().splitlines(), status))
    finally:
        stop_all(env["XDG_RUNTIME_DIR"])


def stop_all(runtime):
    """Ends the private speech-dispatcher, by its pid file, and everything else run with RUNTIME."""
    pids = []
    with contextlib.suppress(OSError, ValueError), open(runtime + "/speech-dispatcher/pid/speech-dispatcher.pid") as f:
        pids.append(int(f.read()))
    for environ in glob.glob("/proc/[0-9]*/environ"):
        with contextlib.suppress(OSError), open(environ, "rb") as f:
            if f"XDG_RUNTIME_DIR={runtime}\0".encode() in f.read():
                pids.append(int(environ.split("/")[2]))
    for pid in pids:
        with contextlib.suppress(OSError):
            os.kill(pid, signal.SIGKILL)


def together(rows):
    with concurrent.futures.ThreadPoolExecutor(len(rows)) as pool:
        for future in [pool.submit(row) for row in rows]:
            with contextlib.suppress(Exception):
                future.result()
            if future.exception():
                check("a row runs to its end", None, repr(future.exception()))


TOOLS = {"desktop": ["Xvfb", "trayer", "xdotool", "xwininfo", "xprop", "import"], "speech": ["speech-dispatcher"]}


def main():
    try:
        missing = [t for t in TOOLS.get(GROUP, []) if not shutil.which(t)]
        if missing:
            print(f"SKIP {GROUP}: not installed: {' '.join(missing)}")
        status = 77 if missing else {"cli": cli, "terminal": terminal, "desktop": desktop, "speech": speech}[GROUP]()
    finally:
        for p in PROCS:
            if p.poll() is None:
                p.kill()
        for path in IMMUTABLE:
            sp.run(["chattr", "-i", path])
        shutil.rmtree(WORK, ignore_errors=True)
    if status == 77:
        return 77
    print(f"{COUNTS[0]} passed, {COUNTS[1]} failed")
    return 1 if COUNTS[1] else 0


if __name__ == "__main__":
    sys.exit(main())
