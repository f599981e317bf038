#!/usr/bin/env python3
# End-to-end checks of the real binary, as rows of tables:
#
#     run.py GROUP BINARY SOURCE_DIR BUILD_DIR ARTIFACTS_DIR    (GROUP: cli, terminal, desktop, speech)
#
# Every run of the program gets settings, runtime and home directories of its own and none of the
# caller's languages, Qt variables or session bus; its output is read as it comes, against a
# deadline. Prints one line per check and "N passed, N failed"; exits 0 when nothing failed, 77 when
# the group's tools are missing.
import collections
import concurrent.futures
import contextlib
import glob
import json
import os
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
PRINTING, COUNTS = threading.Lock(), [0, 0]
PROCS, IMMUTABLE = [], []  # what was started, and what made immutable: undone when the group ends


def check(name, expected, seen, ok=None):
    ok = expected == seen if ok is None else ok
    with PRINTING:
        COUNTS[not ok] += 1
        print(f"PASS {name}" if ok else f"FAIL {name}\n    expected: {expected!r}\n    seen:     {seen!r}", flush=True)
    return ok


# What LOOK() gives once it gives something, looking every 0.1 s; what it gives at the deadline.
def until(look, timeout):
    end = time.monotonic() + timeout
    while not (seen := look()) and time.monotonic() < end:
        time.sleep(0.1)
    return seen


def together(rows):
    with concurrent.futures.ThreadPoolExecutor(len(rows)) as pool:
        for future in [pool.submit(row) for row in rows]:
            if future.exception():
                check("the row runs to its end", None, repr(future.exception()))


# A run's own directories: its environment, and its settings file written with CONF.
def home(name, conf=None, lang="en_US.UTF-8", **extra):
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


def run(args, env=None, timeout=10):
    try:
        r = sp.run(args, env=env, stdin=sp.DEVNULL, capture_output=True, timeout=timeout)
    except sp.TimeoutExpired:
        return "timed out", [], []
    return r.returncode, r.stdout.decode(errors="replace").splitlines(), r.stderr.decode(errors="replace").splitlines()


# The binary in the background; its output lines are collected as they come.
class Proc:
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

    # True once LINE is on stdout; false when the output ends or the deadline passes first.
    def wait_for(self, line, timeout=30):
        with self.cv:
            return self.cv.wait_for(lambda: line in self.out or self.ended == 2, timeout) and line in self.out

    # Sends SIG (if any); the exit status, or "hung" when it did not end within TIMEOUT seconds.
    def stop(self, sig=signal.SIGTERM, timeout=5):
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
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


# The text under KEY of a settings file as Qt reads it back (a quoted text with escapes), or None.
def ini_value(path, key):
    lines = (read(path) or b"").decode(errors="surrogateescape").splitlines()
    value = next((line[len(key) + 1:] for line in lines if line.startswith(key + "=")), None)
    quoted = value and re.fullmatch(r'"((?:[^"\\]|\\.)*)"', value)
    escapes = {"n": "\n", "t": "\t", "r": "\r"}
    return re.sub(r"\\(.)", lambda m: escapes.get(m[1], m[1]), quoted[1]) if quoted else value


def stored_alarms(path):  # None when absent or no JSON
    with contextlib.suppress(TypeError, ValueError):
        return json.loads(ini_value(path, "alarms"))


def alarm(i, hour, minutes, title="", enabled=True):
    return {"id": f"{i:08X}-0000-4000-8000-{i:012X}", "hour": hour, "minutes": minutes, "title": title,
            "enabled": enabled}


# A settings file with the time signal switch and the alarm list (a list, or a text as it is).
def conf(alarms=None, time_signal=False):
    lines = ["[General]"] + ["enableTimeSignal=true"] * time_signal
    if alarms is not None:
        text = alarms if isinstance(alarms, str) else json.dumps(alarms, ensure_ascii=False, separators=(",", ":"))
        lines.append("alarms=" + ini_text(text))
    return ("\n".join(lines) + "\n").encode()


# Makes PATH unwritable for the program: chmod for a user; root writes anyway, but not to an
# immutable file or directory.
def readonly(path):
    if os.geteuid() != 0:
        os.chmod(path, 0o555 if os.path.isdir(path) else 0o444)
        return "chmod"
    sp.run(["chattr", "+i", path], check=True)
    IMMUTABLE.append(path)
    return "chattr +i"


# ---- cli ------------------------------------------------------------------------------------------

ONCE = [  # --at, the label; run where the local zone is +14:00, which must not matter
    ("1704067225", "07:00"), ("1704067224.9", "06:59"), ("-0.5", "23:59"), ("+1704067225.000", "07:00"),
    ("2024-01-01T00:00:24.9Z", "06:59"), ("2024-01-01T00:00:25Z", "07:00"), ("2024-01-01T09:00:25+09:00", "07:00"),
    ("2023-12-31T19:00:25-05:00", "07:00"), ("448000000000000000", "16:17")]
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
APP = "io.github.variredu_divar.VarireduDivar"
INSTALLED = ["/bin/variredu-divar", f"/share/applications/{APP}.desktop", f"/share/metainfo/{APP}.metainfo.xml",
             f"/share/icons/hicolor/scalable/apps/{APP}.svg", f"/share/icons/hicolor/48x48/apps/{APP}.png",
             "/share/variredu-divar/translations/variredu-divar_en.qm"]


def cli():
    env, _ = home("cli", TZ="Pacific/Kiritimati")
    for instant, label in ONCE:
        check(f"--once --at {instant}", ["VT: " + label], run([BIN, "--once", "--at", instant], env)[1])
    before, (_, out, _), after = time.time(), run([BIN, "--once"], env), time.time()
    now = {"VT: %02d:%02d" % divmod(int(t * 144 // 7) % 86400 // 60, 60) for t in (before, after)}
    check("--once reads the clock now", now, out, len(out) == 1 and out[0] in now)
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
    # An install into a scratch prefix, and the desktop's own validators.
    prefix = WORK + "/prefix"
    status = run(["cmake", "--install", BUILD, "--prefix", prefix])[0]
    missing = [f for f in INSTALLED if not os.path.isfile(prefix + f)]
    autostart = b"VD_INSTALL_AUTOSTART:BOOL=ON" in (read(BUILD + "/CMakeCache.txt") or b"")
    check("cmake --install places every file, an autostart entry only when asked for", (0, [], autostart),
          (status, missing, bool(glob.glob(prefix + "/**/autostart/*.desktop", recursive=True))))
    desktop_files = glob.glob(f"{SOURCE}/data/*.desktop") + glob.glob(f"{BUILD}/data/*/*.desktop")
    for tool, paths in [(["desktop-file-validate"], desktop_files),
                        (["appstreamcli", "validate", "--no-net"], glob.glob(f"{SOURCE}/data/*.metainfo.xml")),
                        (["appstreamcli", "validate-tree", "--no-net"], [prefix])]:
        if not shutil.which(tool[0]):
            print(f"NOTE {tool[0]} is not installed: {' '.join(tool)} not checked")
        for path in paths if shutil.which(tool[0]) else []:  # desktop-file-validate says nothing when content
            status, out, err = run([*tool, path])
            check(f"{' '.join(tool)} {path}", (0, []), (status, [] if tool[0] == "appstreamcli" else out + err))


# ---- terminal -------------------------------------------------------------------------------------

# Valdrian 06:59:30 on day 19000. The clock wakes once a second, about 20.6 Valdrian seconds: 07:00
# comes with the second tick, 07:01 with the fifth.
SEVEN = repr((19000 * 86400 + 25170) * 7 / 144)
LABELS = ["VT: 06:59", "VT: 07:00", "VT: 07:01"]
SPOKEN = [alarm(1, "07", "00"), alarm(2, "07", "00", "off", False), alarm(3, "7", "0", "釣り\nへ")]


def said(lang, *texts):
    return ["VT: 06:59", *(f"{lang}\t{text}" for text in texts), *LABELS[1:]]


# 10 MB of alarms due at 07:00, all valid but the last: unreadable as a whole.
def big_list():
    items = [f'{{"id":"{i:08X}-1111-4000-8000-{i:012X}","hour":"07","minutes":"00",'
             f'"title":"釣り \\"{i}\\" ;# \\\\ x","enabled":true}}' for i in range(85000)]
    return "[" + ",".join(items) + ',{"id":"not-a-uuid","hour":"07","minutes":"00","title":"","enabled":true}]'


# 10,000 alarms, none at a minute 59 (which the start may or may not announce), every other thousand off.
def list10k():
    return [alarm(i, "%02d" % (i // 59 % 24), "%02d" % (i % 59), f"a{i}", i // 1000 % 2 == 0) for i in range(10000)]


def due(alarms, hour, minute):  # what the terminal clock says at HOUR:MINUTE
    return [f"en-US\t{a['title']}" for a in alarms if a["enabled"] and (a["hour"], a["minutes"]) == (hour, minute)]


# An unreadable alarms line, then lines of printable characters, kana, tabs, quotes, backslashes.
BROKEN = '[{"id": oops, "hour": 7} ;# \\ 釣り'
CHARS = [chr(c) for c in range(32, 127)] + ["\t", "釣り"]
GARBAGE = ("alarms=" + ini_text(BROKEN) + "\n" + "\n".join(
    "".join(CHARS[(i * 7919 + j * 104729) % 97] for j in range(i * 31 % 90)) for i in range(300)) + "\n").encode()
BINARY = b"alarms=" + bytes(b for b in range(256) if b not in b"\r\n") + b"\n" + bytes(
    (i * 167 + (i >> 8) * 13) & 255 for i in range(65536))
EN = said("en-US", "7 V.T. o'clock.", "7 hours 0 minutes.", "釣り\\nへ")


# name, settings, LANG, stdout up to VT: 07:01, stderr, what is made read-only (which adds the one
# line on stderr about it)
def terminal_rows():
    tens = list10k()
    return [
        ("en_US: time signal and alarms, each said once", conf(SPOKEN, True), "en_US.UTF-8", EN, [], None),
        ("ja_JP: time signal and alarms, each said once", conf(SPOKEN, True), "ja_JP.UTF-8",
         said("ja-JP", "7 ヴァルドリア時間", "7 時 0 分", "釣り\\nへ"), [], None),
        ("garbage text", GARBAGE, "en_US.UTF-8", LABELS, [], None),
        ("binary bytes", BINARY, "en_US.UTF-8", LABELS, [], None),
        ("10 MB alarm text, its last element bad", conf(big_list(), True), "en_US.UTF-8",
         said("en-US", "7 V.T. o'clock."), [], None),
        ("JSON nested 100,000 deep", conf("[" * 100000 + "]" * 100000, True), "en_US.UTF-8",
         said("en-US", "7 V.T. o'clock."), [], None),
        ("10,000 alarms", conf(tens), "en_US.UTF-8",
         ["VT: 06:59", *due(tens, "07", "00"), "VT: 07:00", *due(tens, "07", "01"), "VT: 07:01"], [], None),
        ("read-only settings file", conf([alarm(1, "07", "00", "kept")]), "en_US.UTF-8", said("en-US", "kept"),
         [], "file"),
        ("read-only settings directory", conf([alarm(1, "07", "00", "kept")]), "en_US.UTF-8",
         said("en-US", "kept"), [], "dir")]


def terminal_row(name, settings, lang, out, err, locked):
    env, path = home(re.sub(r"\W+", "-", name), settings, lang)
    if locked:
        name += f" ({readonly(path if locked == 'file' else os.path.dirname(path))})"
        err = [f"variredu-divar: settings can't be saved to {path}; changes will be lost"]
    p = Proc(["--terminal", "--at", SEVEN, "--speech-engine", "stdout"], env)
    p.wait_for("VT: 07:01")
    status = p.stop()
    check(f"terminal, {name}: ticks to 07:01, says what is due, ends with 0, file unchanged",
          (out, err, 0, True), (p.out, p.err, status, read(path) == settings))


# A clock killed with SIGKILL leaves its lock; the next takes it over and speaks; a third, started
# while that one runs, prints its labels only and says that it will not speak.
def lock_row():
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


# ---- desktop --------------------------------------------------------------------------------------

Win = collections.namedtuple("Win", "id embedded title x y w h")
TREE_LINE = re.compile(r'^( +)(0x\w+) "(.*)": \("variredu-divar" .*?(\d+)x(\d+)\S* +\+(-?\d+)\+(-?\d+)$', re.M)
KINDS = {"icon": lambda w: w.embedded, "label": lambda w: not w.embedded and w.h < 60,
         "menu": lambda w: not w.embedded and not w.title.startswith("アラーム設定") and w.h >= 60,
         "settings": lambda w: w.title.startswith("アラーム設定")}


def x(display, *args):
    return sp.run(args, env=dict(os.environ, DISPLAY=display), stdin=sp.DEVNULL, capture_output=True, timeout=30).stdout


# A virtual display on a free number, named by Xvfb once it takes connections. One at a time: two
# servers starting together have been seen to leave a program with no windows on either.
STARTING = threading.Lock()


def xvfb():
    with STARTING:
        return start_xvfb()


def start_xvfb():
    r, w = os.pipe()
    PROCS.append(sp.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "800x600x24", "-nolisten", "tcp"],
                          pass_fds=[w], stdout=sp.DEVNULL, stderr=sp.DEVNULL))
    os.close(w)
    with os.fdopen(r) as f:
        return ":" + f.readline().strip()


# The program's viewable windows of a kind: the icon embedded in a tray, its menu, the alarm
# settings window or the label window.
def find(display, kind):
    shown = {int(i) for i in x(display, "xdotool", "search", "--onlyvisible", "--classname", "variredu-divar").split()}
    tree = x(display, "xwininfo", "-root", "-tree").decode(errors="replace")
    wins = (Win(int(m[2], 16), len(m[1]) > 5, m[3], *map(int, m.group(6, 7, 4, 5))) for m in TREE_LINE.finditer(tree))
    return [w for w in wins if w.id in shown and KINDS[kind](w)]


def shot(display, w):
    return x(display, "import", "-silent", "-window", "root", "-crop", f"{w.w}x{w.h}+{w.x}+{w.y}", "rgb:-")


def drawn(picture):  # more than two colours
    return picture if len({picture[i:i + 3] for i in range(0, len(picture), 3)}) > 2 else None


# True once W, drawn, has changed TIMES times within TIMEOUT seconds (a Valdrian minute is 2.9 s).
def changes(display, w, times=1, timeout=10):
    end = time.monotonic() + timeout
    seen = until(lambda: drawn(shot(display, w)), timeout)
    for _ in range(times):
        seen = seen and until(lambda: (now := shot(display, w)) != seen and now, end - time.monotonic())
    return bool(seen)


def keep(display, name):
    os.makedirs(ARTIFACTS, exist_ok=True)
    x(display, "import", "-silent", "-window", "root", f"{ARTIFACTS}/{name}.png")


# Opens the menu with a click on W and chooses from the keyboard, the pointer off the menu.
def choose(display, w, keys, picture=None):
    x(display, "xdotool", "mousemove", str(w.x + w.w // 2), str(w.y + w.h // 2), "click", "1")
    menu = until(lambda: find(display, "menu"), 5)
    if menu and picture:
        keep(display, picture)
    x(display, "xdotool", "mousemove", "400", "500", "key", *keys)
    return bool(menu)


# Ctrl+W on the settings window, after a click on its add button when ADD; true once it has closed
# (so the click was handled too).
def close(display, window, add=False):
    w = str(window[0].id) if window else "0"
    x(display, "xdotool", *["mousemove", "--window", w, "60", "25", "click", "1"] * add, "windowfocus", "--sync", w,
      "key", "ctrl+w")
    return bool(window) and until(lambda: not find(display, "settings"), 10)


def desktop_clock(name, display, settings=None):
    env, path = home(name, settings, "ja_JP.UTF-8", DISPLAY=display)
    return env, path, Proc(["--speech-engine", "none"], env)


# A later launch, once the first listens: it asks that one to show its alarm settings window.
def launch(env):
    until(lambda: os.path.exists(env["XDG_RUNTIME_DIR"] + "/variredu-divar.socket"), 30)
    return run([BIN, "--speech-engine", "none"], env)[0]


def tray_lane():
    display = xvfb()
    PROCS.append(sp.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
                           "--SetDockType", "true", "--expand", "true"], env=dict(os.environ, DISPLAY=display),
                          stdout=sp.DEVNULL, stderr=sp.DEVNULL))
    until(lambda: x(display, "xdotool", "search", "--onlyvisible", "--class", "trayer"), 10)
    env, path, p = desktop_clock("tray", display)
    icon = until(lambda: find(display, "icon"), 30)
    if not check("desktop: the icon is embedded in the tray", True, bool(icon)):
        return p.stop()
    check("desktop: the icon changes with the Valdrian minute", True, changes(display, icon[0]))
    keep(display, "tray")
    check("desktop: a click on the icon opens the menu", True, choose(display, icon[0], ["Down", "Return"], "menu"))
    check("desktop: 時報 stores enableTimeSignal=true at once", "true",
          until(lambda: ini_value(path, "enableTimeSignal"), 5))
    choose(display, icon[0], ["Up"] * 4 + ["Return"])
    window = until(lambda: find(display, "settings"), 10)
    keep(display, "window")
    focused = window and int(x(display, "xdotool", "getwindowfocus") or 0) == window[0].id
    check("desktop: アラーム設定 opens one window, focused; a second launch exits 0; Ctrl+W closes the one window",
          (1, True, 0, True), (len(window), focused, launch(env), close(display, window)))
    check("desktop: a second launch exits 0 and shows the closed window again", (0, 1),
          (launch(env), len(until(lambda: find(display, "settings"), 10))))
    choose(display, icon[0], ["Up", "Return"])
    check("desktop: Quit ends it with status 0", 0, p.stop(None, 10))
    tens = list10k()
    env, path, p = desktop_clock("many", display, conf(tens))
    icon = until(lambda: find(display, "icon"), 30)
    opening = sp.Popen([BIN, "--speech-engine", "none"], env=env, stdout=sp.DEVNULL, stderr=sp.DEVNULL)
    ticking = bool(icon) and changes(display, icon[0], 2, 9)
    window = until(lambda: find(display, "settings"), 30)
    check("desktop, 10,000 alarms: the window opens while the icon changes twice in 9 s", (True, 0, 1),
          (ticking, opening.wait(30), len(window)))
    closed, saved, ids = close(display, window, True), stored_alarms(path) or [], {a["id"] for a in tens}
    check("desktop, 10,000 alarms: an added alarm is saved and all 10,000 are kept; SIGTERM ends it with 0",
          (True, 10001, True, 0), (closed, len(saved), [a for a in saved if a["id"] in ids] == tens, p.stop()))


def stored_lane():
    display = xvfb()
    env, path, p = desktop_clock("garbage", display, GARBAGE)
    status = launch(env)
    closed = close(display, until(lambda: find(display, "settings"), 30), True)
    check("desktop, garbage settings: the window opens on an empty list, an added alarm is saved, the unreadable "
          "text kept in alarmsBackup, the whole file beside it", (0, True, 1, BROKEN, True, 0, []),
          (status, closed, len(stored_alarms(path) or "?"), ini_value(path, "alarmsBackup"),
           read(path + ".unreadable") == GARBAGE, p.stop(), p.err))
    settings = conf([alarm(1, "07", "00", "kept")])
    env, path = home("readonly-desktop", settings, "ja_JP.UTF-8", DISPLAY=display)
    how = readonly(path)
    p = Proc(["--speech-engine", "none"], env)
    status = launch(env)
    closed = close(display, until(lambda: find(display, "settings"), 30), True)
    check(f"desktop, read-only settings file ({how}): says so once; an add in the window leaves the file as it was",
          (0, True, True, 0, [f"variredu-divar: settings can't be saved to {path}; changes will be lost"]),
          (status, closed, read(path) == settings, p.stop(), p.err))


def label_lane():
    display = xvfb()
    _, _, p = desktop_clock("label", display)
    label = until(lambda: find(display, "label"), 45)
    if check("desktop without a tray: the label window appears", True, bool(label)):
        keep(display, "label")
        above = b"_NET_WM_STATE_ABOVE" in x(display, "xprop", "-id", str(label[0].id), "_NET_WM_STATE")
        check("desktop without a tray: the label window stays on top and follows the minute", (True, True),
              (above, changes(display, label[0])))
        check("desktop without a tray: a click on the label window opens the menu", True,
              choose(display, label[0], ["Escape"]))
    check("desktop without a tray: SIGTERM ends it with status 0", 0, p.stop())


# ---- speech ---------------------------------------------------------------------------------------

# A speech-dispatcher of the group's own whose one module writes down each text, with its language,
# once it has spoken it to its end: at once, but "long" takes 5 s, and "slow" then goes on for a minute.
SPEECH = [  # LANG, settings, what speech-dispatcher is asked to say, in order
    ("en_US.UTF-8", conf([alarm(1, "07", "00"), alarm(2, "07", "00", "Fishing")], True),
     ["en 7 V.T. o'clock.", "en 7 hours 0 minutes.", "en Fishing"]),
    ("en_US.UTF-8", conf([alarm(1, "07", "00", "long"), alarm(2, "07", "01", "slow")]), ["en long", "en slow"])]
SPEECHD_CONF = """AudioOutputMethod "alsa"
AddModule "capture" "sd_generic" "capture.conf"
DefaultModule capture
LanguageDefaultModule "en" "capture"
LanguageDefaultModule "ja" "capture"
"""
CAPTURE_CONF = """GenericExecuteSynth \\
"d=\\'$DATA\\'; case $d in long) sleep 5;; esac; echo $LANGUAGE $d >> {}; case $d in slow) sleep 60;; esac"
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
    for name, text in [(config + "/speechd.conf", SPEECHD_CONF), (config + "/modules/capture.conf",
                       CAPTURE_CONF.format(heard)), (env["HOME"] + "/.asoundrc", "pcm.!default { type null }\n")]:
        with open(name, "w") as f:  # (the module opens a sound device, and never uses it)
            f.write(text)
    try:
        for lang, settings, texts in SPEECH:
            with open(path, "wb") as f, open(heard, "w"):
                f.write(settings)
            p = Proc(["--terminal", "--at", SEVEN, "--speech-engine", "qt:speechd"], dict(env, LANG=lang))
            until(lambda: (read(heard) or b"").count(b"\n") >= len(texts) and "VT: 07:01" in p.out, 60)
            check(f"speech, {lang}: speech-dispatcher is asked to say {len(texts)} texts, in order, each once; "
                  "SIGTERM ends the clock with 0 within 5 s", (0, texts), (p.stop(), read(heard).decode().splitlines()))
    finally:  # the private speech-dispatcher and everything it started
        for environ in glob.glob("/proc/[0-9]*/environ"):
            with contextlib.suppress(OSError), open(environ, "rb") as f:
                if f"XDG_RUNTIME_DIR={env['XDG_RUNTIME_DIR']}\0".encode() in f.read():
                    os.kill(int(environ.split("/")[2]), signal.SIGKILL)


GROUPS = {"cli": cli, "speech": speech, "desktop": lambda: together([tray_lane, stored_lane, label_lane]),
          "terminal": lambda: together([lambda r=r: terminal_row(*r) for r in terminal_rows()] + [lock_row])}
TOOLS = {"desktop": ["Xvfb", "trayer", "xdotool", "xwininfo", "xprop", "import"], "speech": ["speech-dispatcher"]}


def main():
    try:
        missing = [t for t in TOOLS.get(GROUP, []) if not shutil.which(t)]
        if missing:
            print(f"SKIP {GROUP}: not installed: {' '.join(missing)}")
        status = 77 if missing else GROUPS[GROUP]()
    finally:
        for p in PROCS:
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
