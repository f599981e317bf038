#!/usr/bin/env python3
# End-to-end checks of the real binary, as rows of tables:
#
#     run.py GROUP BINARY BUILD_DIR    (GROUP: cli, terminal, desktop, speech, package)
#
# Every run of the program gets settings, runtime and home directories of its own and none of the
# caller's languages, Qt variables or session bus; its output is read as it comes, against a
# deadline. Prints one line per check and "N passed, N failed"; exits 0 when nothing failed, 77 when
# the group's tools are missing. The package group, for root only, installs the .deb into this
# machine's /usr and purges it again; it leaves alone a machine where the package is installed.
import collections
import concurrent.futures
import contextlib
import glob
import json
import os
import pwd
import re
import shutil
import signal
import subprocess as sp
import sys
import tempfile
import threading
import time
from pathlib import Path

GROUP, BIN, BUILD = sys.argv[1:4]
WORK = tempfile.mkdtemp(prefix="vd-e2e-")
PRINTING = threading.Lock()
COUNTS = [0, 0]  # passed, failed


def check(name, expected, seen):
    with PRINTING:
        COUNTS[expected != seen] += 1
        print(f"PASS {name}" if expected == seen else f"FAIL {name}\n  expected: {expected!r}\n  seen:     {seen!r}")
    return expected == seen


# What LOOK() gives once it gives something, looking every 0.1 s; what it gives at the deadline.
def until(look, timeout):
    end = time.monotonic() + timeout
    while not (seen := look()) and time.monotonic() < end:
        time.sleep(0.1)
    return seen


def together(rows):  # an exception in a row ends the group, with its traceback
    with concurrent.futures.ThreadPoolExecutor(len(rows)) as pool:
        list(pool.map(lambda row: row(), rows))


# SEEN with each line cut to the length of the one expected in its place: equal when each starts so.
def cut(seen, expected):
    return [s[:len(e)] for s, e in zip(seen, expected)] + seen[len(expected):]


# A run's own directories, its settings file written with SETTINGS, and its environment: en_US and
# the variables in WORDS ("LANG=ja_JP.UTF-8 LANGUAGE=ja:en").
def home(name, settings=b"", words=""):
    root = os.path.join(WORK, re.sub(r"\W+", "-", name))
    for sub in ("/config/variredu-divar", "/run", "/home"):
        os.makedirs(root + sub, 0o700)
    path = root + "/config/variredu-divar/variredu-divar.conf"
    Path(path).write_bytes(settings)
    env = {k: v for k, v in os.environ.items() if k in ("PATH", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS")}
    env.update(HOME=root + "/home", XDG_CONFIG_HOME=root + "/config", XDG_RUNTIME_DIR=root + "/run", LANG="en_US.UTF-8",
               DBUS_SESSION_BUS_ADDRESS=f"unix:path={root}/no-bus")
    env.update(w.split("=", 1) for w in words.split())
    return env, path


def whole_lines(f):  # of a file being written
    return os.pread(f.fileno(), os.fstat(f.fileno()).st_size, 0).decode(errors="replace").split("\n")[:-1]


# A program in the background; its output goes to files, read as it comes.
class Proc(sp.Popen):
    def __init__(self, args, env=None):
        self.files = [tempfile.TemporaryFile() for _ in range(2)]
        super().__init__(args, env=env, stdin=sp.DEVNULL, stdout=self.files[0], stderr=self.files[1])

    out = property(lambda self: whole_lines(self.files[0]))
    err = property(lambda self: whole_lines(self.files[1]))

    # Sends SIG (if any); the exit status, or "hung" when it did not end within TIMEOUT seconds.
    def stop(self, sig=signal.SIGTERM, timeout=5):
        if sig and self.poll() is None:
            self.send_signal(sig)
        with contextlib.suppress(sp.TimeoutExpired):
            return self.wait(timeout)
        return "hung"  # and left to the end of the group


def run(args, env=None, timeout=10):  # (exit status or "hung", stdout lines, stderr lines)
    p = Proc(args, env)
    return p.stop(None, timeout), p.out, p.err


def read(path):
    with contextlib.suppress(OSError):
        return Path(path).read_bytes()


def ini_text(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


# The text under KEY of a settings file as Qt reads it back (a quoted text with escapes), or None.
def ini_value(path, key):
    lines = (read(path) or b"").decode(errors="surrogateescape").splitlines()
    value = next((line[len(key) + 1:] for line in lines if line.startswith(key + "=")), None)
    quoted = value and re.fullmatch(r'"((?:[^"\\]|\\.)*)"', value)
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t", "r": "\r"}.get(m[1], m[1]), quoted[1]) if quoted else value


def stored_alarms(path):  # None when absent or no JSON
    with contextlib.suppress(TypeError, ValueError):
        return json.loads(ini_value(path, "alarms"))


def alarm(i, hour, minutes, title="", enabled=True):
    return dict(id=f"{i:08X}-0000-4000-8000-{i:012X}", hour=hour, minutes=minutes, title=title, enabled=enabled)


# A settings file with the time signal switch and the alarm list (a list, or a text as it is).
def conf(alarms, time_signal=False):
    text = alarms if isinstance(alarms, str) else json.dumps(alarms, ensure_ascii=False, separators=(",", ":"))
    return ("[General]\n" + "enableTimeSignal=true\n" * time_signal + f"alarms={ini_text(text)}\n").encode()


# Makes PATH unwritable for the program: chmod for a user; root writes anyway, but not to an
# immutable file or directory (made mutable again with the group's end).
def readonly(path):
    if os.geteuid() != 0:
        os.chmod(path, 0o555 if os.path.isdir(path) else 0o444)
        return "chmod"
    sp.run(["chattr", "+i", path], check=True)
    return "chattr +i"


# ---- cli ------------------------------------------------------------------------------------------

CLI = [  # arguments, run in the zone after TZ= or else at +14:00 (which must not matter), and the lines
    # printed or how many (status 0, stderr empty); or, for status 2, nothing on stdout and one line on
    # stderr, naming the quoted last argument or what follows the arguments
    *[(f"--once --at {at}", [f"VT: {label}"]) for at, label in [
        ("1704067225", "07:00"), ("1704067224.9", "06:59"), ("-0.01", "23:59"), ("+1704067225.000", "07:00"),
        ("2024-01-01T00:00:24.9Z", "06:59"), ("2024-01-01T00:00:25Z", "07:00"), ("2024-01-01T09:00:25+09:00", "07:00"),
        ("2023-12-31T19:00:25-05:00", "07:00"), ("448000000000000000", "16:17")]],
    ("TZ=UTC --next 07:00 --at 1704067200", ["2024-01-01T00:00:25.000+00:00"]),
    ("TZ=Asia/Tokyo --next 7:00 --count 3 --at 2024-01-01T00:00:00Z",
     ["2024-01-01T09:00:25.000+09:00", "2024-01-01T10:10:25.000+09:00", "2024-01-01T11:20:25.000+09:00"]),
    ("TZ=America/St_Johns --next 07:00 --at 1704067200", ["2023-12-31T20:30:25.000-03:30"]),
    ("--next 23:59 --count 1000 --at 253370764800", 1000), ("--next 0:00 --at -62135596800", 1),
    ("--version", ["variredu-divar 0.1.0"]), ("--once --at -448000000000000000", 1),
    "--once --at abc", "--once --at nan", "--once --at inf", "--once --at 1e5", "--once --at 449000000000000000",
    "--once --at -449000000000000000", "--once --at 2024-01-01T00:00:00", "--once --at 2024-13-01T00:00:00Z",
    "--next 24:00", "--next 12:60", "--next 1200", "--next 12:00 --count 0", "--next 12:00 --count 1001",
    "--next 12:00 --count ten", "--next 12:00 --at 1e20", "--next 12:00 --at 300000000000", "--once extra",
    "--next 12:00 --at -62135596801", "--terminal --speech-engine loud", "--terminal --speech-engine qt:",
    ("--count 3", "--count"), ("--at 0", "--at"), ("--once --next 12:00", "--once"), ("--bogus", "bogus")]
APP = "io.github.variredu_divar.VarireduDivar"
DESKTOP, METAINFO = f"/share/applications/{APP}.desktop", f"/share/metainfo/{APP}.metainfo.xml"
INSTALLED = ["/bin/variredu-divar", DESKTOP, METAINFO, f"/share/icons/hicolor/scalable/apps/{APP}.svg",
             f"/share/icons/hicolor/48x48/apps/{APP}.png", "/share/man/man1/variredu-divar.1.gz",
             "/share/doc/variredu-divar/copyright", "/share/doc/variredu-divar/changelog.gz"]


# What is missing of an install under PREFIX, and what the desktop's validators find wrong in it
# (desktop-file-validate prints nothing for a good file); a validator not installed is left out.
def install_faults(prefix, *appstream):
    tools = [["desktop-file-validate", prefix + DESKTOP], ["appstreamcli", *appstream, "--no-net"]]
    said = [(t, run(t)) for t in tools if shutil.which(t[0])]
    return [f for f in INSTALLED if not os.path.isfile(prefix + f)] + [
        (t[-1], out + err) for t, (status, out, err) in said if status or t[0] == "desktop-file-validate" and out + err]


def cli():
    env, _ = home("cli", b"", "TZ=Pacific/Kiritimati")
    for row in CLI:
        args, want = row if isinstance(row, tuple) else (row, f'"{row.split()[-1]}"')
        zone = re.fullmatch(r"TZ=(\S+) (.*)", args)
        status, out, err = run([BIN, *(zone[2] if zone else args).split()], dict(env, TZ=zone[1]) if zone else env)
        if isinstance(want, str):
            check(f"{args}: status 2, nothing on stdout, one line on stderr naming {want}", (2, [], [True]),
                  (status, out, [want in e for e in err]))
        else:
            check(args, (0, want, []), (status, len(out) if isinstance(want, int) else out, err))
    before = time.time()
    out = run([BIN, "--once"], env)[1]
    now = {"VT: %02d:%02d" % divmod(int(t * 144 // 7) % 86400 // 60, 60) for t in (before, time.time())}
    check("--once reads the clock now", [True], [line in now for line in out])
    prefix = WORK + "/prefix"  # an install into a scratch prefix
    status = run(["cmake", "--install", BUILD, "--prefix", prefix])[0]
    asked = b"VD_INSTALL_AUTOSTART:BOOL=ON" in (read(BUILD + "/CMakeCache.txt") or b"")
    check("cmake --install: every file in place, autostart only when asked for, the validators content", (0, asked, []),
          (status, bool(glob.glob(prefix + "/**/autostart/*", recursive=True)),
           install_faults(prefix, "validate-tree", prefix)))
    setup_rows()



# scripts/setup with stand-ins first on PATH: a dpkg-query that lists MISSING as not installed and
# then exits 1 as the real one does, an apt-get that records its arguments and exits APT, a sudo
# that runs its command, a locale that lists both locales.
STAND_INS = {
    "dpkg-query": 'for a; do case " $MISSING " in *" $a "*) echo "dpkg-query: no packages found matching $a" >&2; s=1;;\n'
                  '  -*) ;; *) echo "$a install ok installed";; esac; done; exit ${s:-0}',
    "apt-get": 'echo "$*" >>"$LOG"; exit $APT', "sudo": 'exec "$@"', "locale": 'printf "C\\nen_US.utf8\\nja_JP.utf8\\n"'}
SETUP = [  # missing packages, apt-get's status; setup's status, the packages apt-get was asked to install
    ("xdotool trayer", 0, 0, ["trayer", "xdotool"]),
    ("", 0, 0, None),
    ("xdotool", 100, 1, ["xdotool"]),
]


def setup_rows():
    bin_dir = WORK + "/stand-ins"
    os.makedirs(bin_dir)
    for name, body in STAND_INS.items():
        Path(bin_dir, name).write_text("#!/bin/sh\n" + body + "\n")
        os.chmod(Path(bin_dir, name), 0o755)
    script = str(Path(__file__).resolve().parents[2] / "scripts/setup")
    for i, (missing, apt, want_status, want_installed) in enumerate(SETUP):
        log = f"{WORK}/apt-{i}.log"
        env = dict(PATH=f"{bin_dir}:{os.environ['PATH']}", MISSING=missing, APT=str(apt), LOG=log)
        status, _, err = run(["bash", script], env, 60)
        calls = [line.split() for line in (read(log) or b"").decode().splitlines()]
        asked = next((sorted(w for w in c[c.index("install") + 1:] if w[0] != "-") for c in calls if "install" in c), None)
        named = [line for line in err if "could not install" in line and all(m in line for m in missing.split())]
        check(f"scripts/setup with {missing or 'nothing'} missing and apt-get exiting {apt}",
              (want_status, want_installed, [True] * bool(apt)),
              (status, asked, [bool(named)] * bool(apt)))

# ---- terminal -------------------------------------------------------------------------------------

# Valdrian 06:59:30 on day 19000. The clock wakes once a second, about 20.6 Valdrian seconds: 07:00
# comes with the second tick, 07:01 with the fifth.
SEVEN = repr((19000 * 86400 + 25170) * 7 / 144)
# A Valdrian half-minute earlier, for settings that take long to read (10 MB under ASan): a first tick
# that lands in minute 00 announces nothing.
EARLY = repr((19000 * 86400 + 25140) * 7 / 144)
LABELS = ["VT: 06:59", "VT: 07:00", "VT: 07:01"]
SPOKEN = conf([alarm(1, "07", "00"), alarm(2, "07", "00", "off", False), alarm(3, "7", "0", "釣り\nへ")], True)


def said(lang, *texts):
    return ["VT: 06:59", *(f"{lang}\t{text}" for text in texts), *LABELS[1:]]


ENGLISH = ("7 V.T. o'clock.", "7 hours 0 minutes.", "釣り\\nへ")
EN = said("en-US", *ENGLISH)
KEPT = conf([alarm(1, "07", "00", "kept")])


# 10 MB of alarms due at 07:00, all valid but the last: unreadable as a whole.
def big_list():
    items = [f'{{"id":"{i:08X}-1111-4000-8000-{i:012X}","hour":"07","minutes":"00",'
             f'"title":"釣り \\"{i}\\" ;# \\\\ x","enabled":true}}' for i in range(85000)]
    return "[" + ",".join(items) + ',{"id":"not-a-uuid","hour":"07","minutes":"00","title":"","enabled":true}]'


UNSAVED = "variredu-divar: settings can't be saved to {}; changes will be lost"  # said once at start
# An unreadable alarms line, then lines of printable characters, kana, tabs, quotes, backslashes.
BROKEN = '[{"id": oops, "hour": 7} ;# \\ 釣り'
CHARS = [chr(c) for c in range(32, 127)] + ["\t", "釣り"]
GARBAGE = ("alarms=" + ini_text(BROKEN) + "\n" + "\n".join(
    "".join(CHARS[(i * 7919 + j * 104729) % 97] for j in range(i * 31 % 90)) for i in range(300)) + "\n").encode()
BINARY = b"alarms=" + bytes(b for b in range(256) if b not in b"\r\n") + b"\n" + bytes(
    (i * 167 + (i >> 8) * 13) & 255 for i in range(65536))


# name, environment, settings, stdout up to VT: 07:01, the start of each stderr line, and what else
# there is: the settings file or directory made read-only (which adds a line on stderr), a clock
# started before and still running ("beside"), SIGINT and SIGTERM arriving together ("twice"),
# another speech engine than stdout, or SPOKEN in $XDG_CONFIG_HOME/variredu-divar.conf ("fallback").
def terminal_rows():
    signal_only = said("en-US", "7 V.T. o'clock.")
    return [
        ("en_US: time signal and alarms, each said once", "", SPOKEN, EN, []),
        ("ja_JP: in Japanese", "LANG=ja_JP.UTF-8", SPOKEN, said("ja-JP", "7 ヴァルドリア時間", "7 時 0 分", "釣り\\nへ"), []),
        ("LANGUAGE=ja without a Japanese locale: in English", "LANGUAGE=ja", SPOKEN, said("ja", *ENGLISH), []),
        ("garbage text", "", GARBAGE, LABELS, []),
        ("binary bytes", "", BINARY, LABELS, []),
        ("10 MB alarm text, its last element bad", "", conf(big_list(), True), signal_only, []),
        ("JSON nested 100,000 deep", "", conf("[" * 100000 + "]" * 100000, True), signal_only, []),
        ("read-only settings file", "", KEPT, said("en-US", "kept"), [], "file"),
        ("read-only settings directory", "", KEPT, said("en-US", "kept"), [], "dir"),
        ("a clock beside a running one says everything too", "", SPOKEN, EN, [], "beside"),
        ("two signals at once: the second ends it at once", "", SPOKEN, EN, [], "twice"),
        ("qt:nonexistent: one line, labels go on", "", SPOKEN, LABELS, ["variredu-divar: speech"], "qt:nonexistent"),
        ("settings only in Qt's fallback file are not read", "", b"", LABELS, [], "fallback"),
        ("speechd, speech-dispatcher unreachable: Qt's engines tried, one line", "SPEECHD_ADDRESS=unix_socket:/none",
         SPOKEN, LABELS, ["variredu-divar: speech"], "speechd")]


def terminal_row(name, words, settings, out, err, first=None):
    env, path = home(name, settings, words)
    at = SEVEN if len(settings) < 1 << 20 else EARLY
    args = [BIN, "--terminal", "--at", at, "--speech-engine", first if str(first).startswith(("qt:", "speechd")) else "stdout"]
    if first in ("file", "dir"):
        name += f" ({readonly(path if first == 'file' else os.path.dirname(path))})"
        err = [UNSAVED.format(path)]
    elif first == "fallback":
        Path(env["XDG_CONFIG_HOME"] + "/variredu-divar.conf").write_bytes(SPOKEN)
    elif first == "beside":
        before = Proc(args, env)
        until(lambda: "VT: 06:59" in before.out, 30)
    p = Proc(args, env)
    until(lambda: "VT: 07:01" in p.out, 30)
    sigs, ends = [signal.SIGINT if first == "beside" else signal.SIGTERM], {0}
    if first == "twice":  # stopped until both are there: the second handled ends it, with 128 + its number
        p.send_signal(signal.SIGSTOP)
        until(lambda: (read(f"/proc/{p.pid}/stat") or b"").rsplit(b") ", 1)[-1][:1] == b"T", 10)
        sigs, ends = [signal.SIGINT, signal.SIGTERM, signal.SIGCONT], {130, 143}
    for sig in sigs:
        p.send_signal(sig)
    status = p.stop(None)
    check(f"terminal, {name}: ticks to 07:01, says what is due, {'+'.join(s.name for s in sigs[:2])} ends it with "
          f"{' or '.join(map(str, sorted(ends)))}, the file as it was",
          (out, err, status if status in ends else ends, True),
          (p.out, cut(p.err, err), status, read(path) == settings))


# ---- desktop --------------------------------------------------------------------------------------

Win = collections.namedtuple("Win", "id embedded title x y w h")
TREE_LINE = re.compile(r'^( +)(0x\w+) "(.*)": \("variredu-divar" .*?(\d+)x(\d+)\S* +\+(-?\d+)\+(-?\d+)$', re.M)
SETTINGS_TITLES = ("アラーム設定", "Alarm settings")
KINDS = {"icon": lambda w: w.embedded, "label": lambda w: not w.embedded and w.h < 60,
         "menu": lambda w: not w.embedded and not w.title.startswith(SETTINGS_TITLES) and w.h >= 60,
         "settings": lambda w: w.title.startswith(SETTINGS_TITLES)}
STARTING = threading.Lock()


def x(display, *args):
    return sp.run(args, env=dict(os.environ, DISPLAY=display), stdin=sp.DEVNULL, capture_output=True, timeout=30).stdout


# A virtual display on a free number, named by Xvfb once it takes connections; it and what runs on it
# are ended with the group. It never resets: by default it does when its last client leaves, and a
# program connecting meanwhile (a tray host or the clock, after a look with xdotool) found no display
# about one time in twenty. One start at a time, as two starting together were once suspected.
def xvfb():
    with STARTING:
        r, w = os.pipe()
        sp.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset"],
                 pass_fds=[w], env=dict(os.environ, XDG_RUNTIME_DIR=WORK), stdout=sp.DEVNULL, stderr=sp.DEVNULL)
        os.close(w)
        return ":" + os.fdopen(r).readline().strip()


# The program's viewable windows of a kind: the icon embedded in a tray, its menu, the alarm
# settings window or the label window.
def find(display, kind):
    shown = {int(i) for i in x(display, "xdotool", "search", "--onlyvisible", "--classname", "variredu-divar").split()}
    tree = x(display, "xwininfo", "-root", "-tree").decode(errors="replace")
    wins = (Win(int(m[2], 16), len(m[1]) > 5, m[3], *map(int, m.group(6, 7, 4, 5))) for m in TREE_LINE.finditer(tree))
    return [w for w in wins if w.id in shown and KINDS[kind](w)]


def shot(display, w):  # W as it looks, once drawn (in more than two colours)
    picture = x(display, "import", "-silent", "-window", "root", "-crop", f"{w.w}x{w.h}+{w.x}+{w.y}", "rgb:-")
    return picture if len({picture[i:i + 3] for i in range(0, len(picture), 3)}) > 2 else None


# True once W, drawn, has changed TIMES times within TIMEOUT seconds (a Valdrian minute is 2.9 s).
def changes(display, w, times=1, timeout=10):
    end = time.monotonic() + timeout
    seen = until(lambda: shot(display, w), timeout)
    for _ in range(times):
        seen = seen and until(lambda: (now := shot(display, w)) != seen and now, end - time.monotonic())
    return bool(seen)


# Opens the menu with a click on W and chooses from the keyboard, the pointer off the menu.
def choose(display, w, keys):
    x(display, "xdotool", "mousemove", str(w.x + w.w // 2), str(w.y + w.h // 2), "click", "1")
    menu = until(lambda: find(display, "menu"), 5)
    x(display, "xdotool", "mousemove", "400", "500", "key", *keys)
    return bool(menu)


# Ctrl+W on the settings window, after a click on its add button when ADD; true once it has closed
# (so the click was handled too).
def close(display, window, add=False):
    w = str(window[0].id) if window else "0"
    x(display, "xdotool", *["mousemove", "--window", w, "60", "25", "click", "1"] * add, "windowfocus", "--sync", w,
      "key", "ctrl+w")
    return bool(window) and until(lambda: not find(display, "settings"), 10)


def desktop_clock(name, display, settings=b"", words=""):
    env, path = home(name, settings, f"LANG=ja_JP.UTF-8 DISPLAY={display} {words}")
    return env, path, Proc([BIN, "--speech-engine", "none"], env)


# The folder of a run's instance files: its runtime directory, or the one in its home.
def instance_files(env):
    return env.get("XDG_RUNTIME_DIR", env["HOME"] + "/.local/state/variredu-divar")


# A later launch, once the first listens: it asks that one to show its alarm settings window.
def launch(env):
    until(lambda: os.path.exists(instance_files(env) + "/variredu-divar.socket"), 30)
    return run([BIN, "--speech-engine", "none"], env)[0]


def tray_host(display):
    Proc(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24", "--SetDockType",
          "true", "--expand", "true"], dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=WORK))
    until(lambda: x(display, "xdotool", "search", "--onlyvisible", "--class", "trayer"), 10)


def tray_lane():
    display = xvfb()
    tray_host(display)
    env, path, p = desktop_clock("tray", display)
    icon = until(lambda: find(display, "icon"), 30)
    if not check("desktop: the icon is embedded in the tray", True, bool(icon)):
        return p.stop()
    check("desktop: the icon changes with the Valdrian minute; a click on it opens the menu, whose 時報 stores "
          "enableTimeSignal=true at once", (True, True, "true"), (changes(display, icon[0]), choose(
              display, icon[0], ["Down", "Return"]), until(lambda: ini_value(path, "enableTimeSignal"), 5)))
    choose(display, icon[0], ["Up"] * 4 + ["Return"])
    window = until(lambda: find(display, "settings"), 10)
    focused = window and int(x(display, "xdotool", "getwindowfocus") or 0) == window[0].id
    check("desktop: アラーム設定 opens one window, focused; a second launch exits 0; Ctrl+W closes the one window",
          (1, True, 0, True), (len(window), focused, launch(env), close(display, window)))
    check("desktop: a second launch exits 0 and shows the closed window again", (0, 1),
          (launch(env), len(until(lambda: find(display, "settings"), 10))))
    choose(display, icon[0], ["Up", "Return"])
    check("desktop: Quit ends it with status 0", 0, p.stop(None, 10))
    tens = [alarm(i, "%02d" % (i // 59 % 24), "%02d" % (i % 59), f"a{i}", i // 1000 % 2 == 0) for i in range(10000)]
    env, path, p = desktop_clock("many", display, conf(tens))
    icon = until(lambda: find(display, "icon"), 30)
    opening = sp.Popen([BIN, "--speech-engine", "none"], env=env, stdout=sp.DEVNULL, stderr=sp.DEVNULL)
    ticking = bool(icon) and changes(display, icon[0], 2, 9)
    window = until(lambda: find(display, "settings"), 30)
    check("desktop, 10,000 alarms: the window opens while the icon changes twice in 9 s", (True, 0, 1),
          (ticking, opening.wait(30), len(window)))
    closed = close(display, window, True)
    saved = stored_alarms(path) or []
    check("desktop, 10,000 alarms: an added alarm is saved at the top and all 10,000 are kept; SIGTERM ends it with 0",
          (True, 10001, True, 0), (closed, len(saved), saved[1:] == tens, p.stop()))


# An add in the window of a clock whose settings file is unreadable, or read-only (which it says at
# start and at the failed save): the file then holds the one alarm, the unreadable text in
# alarmsBackup and the whole file kept beside it, or is left as it was.
def stored_lane():
    display = xvfb()
    for name, settings, locked in [("garbage settings", GARBAGE, False), ("read-only settings file", KEPT, True)]:
        env, path = home(name, settings, f"LANG=ja_JP.UTF-8 DISPLAY={display}")
        how = f" ({readonly(path)})" if locked else ""
        p = Proc([BIN, "--speech-engine", "none"], env)
        status = launch(env)
        closed = close(display, until(lambda: find(display, "settings"), 30), True)
        err = [UNSAVED.format(path), f"variredu-divar: settings can't be saved to {path}: "] * locked
        check(f"desktop, {name}{how}: a launch opens the window, an added alarm is saved where it can be",
              (0, True, 1, None if locked else BROKEN, not locked, locked, 0, err),
              (status, closed, len(stored_alarms(path) or "?"), ini_value(path, "alarmsBackup"),
               read(path + ".unreadable") == settings, read(path) == settings, p.stop(), cut(p.err, err)))
    for room in (0, 8192):
        full_disk_row(display, room)


SIXTY = [alarm(i, "%02d" % (i % 24), "%02d" % i, f"釣り大会 {i}: 集合は港の東側、灯台の下のベンチ。竿と餌は各自で持ってくること",
               i % 2 == 0) for i in range(60)]  # 13.6 kB written
NO_ROOM = "variredu-divar: settings can't be saved to {}: No space left on device; changes will be lost"


# 60 alarms in a settings folder of its own, a 256 KiB tmpfs filled up but for ROOM bytes: an add in
# the window leaves the file as it was and is said on stderr, and the clock runs on; with room again
# the next add saves all 61. Mounting takes root.
def full_disk_row(display, room):
    name = f"desktop, a full disk with room for {room} bytes"
    env, path = home(name, b"", f"DISPLAY={display}")
    folder = os.path.dirname(path)
    if os.geteuid() != 0 or run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", folder])[0] != 0:
        return print(f"SKIP {name}: no tmpfs could be mounted (that takes root)")
    try:
        Path(path).write_bytes(conf(SIXTY))
        filler = os.open(folder + "/filler", os.O_WRONLY | os.O_CREAT)
        with contextlib.suppress(OSError):
            while True:
                os.write(filler, bytes(4096))
        os.ftruncate(filler, os.fstat(filler).st_size - room)
        os.close(filler)
        p = Proc([BIN, "--speech-engine", "none"], env)
        shown = [launch(env), close(display, until(lambda: find(display, "settings"), 30), True)]
        full = (len(read(path)), len(stored_alarms(path) or []), p.err, p.poll())
        os.unlink(folder + "/filler")
        shown += [launch(env), close(display, until(lambda: find(display, "settings"), 30), True)]
        saved = stored_alarms(path) or []
        check(f"{name}: an added alarm leaves the file as it was, is said on stderr, the clock runs on; with room "
              "again the next add saves all 61", ([0, True] * 2, (len(conf(SIXTY)), 60, [NO_ROOM.format(path)], None),
                                                  61, True, 0), (shown, full, len(saved), saved[1:] == SIXTY, p.stop()))
    finally:
        run(["umount", "-l", folder])


# XDG_RUNTIME_DIR unset, and the folders in TMPDIR that Qt and earlier versions fell back to made
# first by another user (nobody; for root only): the tray starts, keeps its files in a folder only
# its user can enter, opens its window for a second launch, and says nothing untrue on stderr.
def hostile_lane():
    display = xvfb()
    env, _ = home("no runtime dir", b"", f"LANG=ja_JP.UTF-8 DISPLAY={display}")
    tmp = env["TMPDIR"] = env.pop("XDG_RUNTIME_DIR")[:-4] + "/tmp"
    for folder in (f"{tmp}/runtime-{pwd.getpwuid(os.geteuid()).pw_name}", f"{tmp}/variredu-divar-{os.geteuid()}"):
        os.makedirs(folder, 0o700)
        if os.geteuid() == 0:
            os.chown(folder, 65534, 65534)
    p = Proc([BIN, "--speech-engine", "none"], env)
    status, files = launch(env), instance_files(env)
    mode = os.path.isdir(files) and oct(os.stat(files).st_mode & 0o777)
    check("desktop, XDG_RUNTIME_DIR unset and TMPDIR's folders someone else's: a second launch opens the window of "
          "the tray, whose files are in ~/.local/state/variredu-divar, 0700; nothing of ours on stderr; SIGTERM ends "
          "it with 0", (0, 1, "0o700", [], 0), (status, len(until(lambda: find(display, "settings"), 10)), mode,
                                                [e for e in p.err if e.startswith("variredu-divar:")], p.stop()))


# A Wayland compositor without a screen, or a session bus, with its socket in a directory of its own
# (ended with the group); the socket's path.
def server(args, name):
    run_dir = tempfile.mkdtemp(dir=WORK)
    Proc([a.format(run_dir) for a in args], dict(os.environ, XDG_RUNTIME_DIR=run_dir))
    until(lambda: os.path.exists(f"{run_dir}/{name}"), 10)
    return f"{run_dir}/{name}"


def weston():
    return server(["weston", "--backend=headless-backend.so", "--socket=wl", "--idle-time=0"], "wl")


def session_bus():
    return "unix:path=" + server(["dbus-daemon", "--session", "--nofork", "--address=unix:path={}/bus"], "bus")


def label_lane():
    display = xvfb()
    _, _, p = desktop_clock("label", display, b"", f"WAYLAND_DISPLAY={weston()}")
    label = until(lambda: find(display, "label"), 45)
    if check("desktop without a tray, WAYLAND_DISPLAY set as well: the label window appears on X11", True, bool(label)):
        above = b"_NET_WM_STATE_ABOVE" in x(display, "xprop", "-id", str(label[0].id), "_NET_WM_STATE")
        check("desktop without a tray: the label window stays on top, follows the minute, opens the menu on a click; "
              "SIGTERM ends it with 0", (True, True, True, 0),
              (above, changes(display, label[0]), choose(display, label[0], ["Escape"]), p.stop()))


# A panel showing tray items over D-Bus (tests/e2e/sni_watcher.py, a stand-in) starts after the clock,
# natively on Wayland, where nothing else shows its icon: all at once, or its name first and its host
# on SIGUSR1 once it was asked for one. Then it restarts.
def panel(env, *args):
    return Proc(["/usr/bin/python3", os.path.dirname(os.path.abspath(__file__)) + "/sni_watcher.py", *args], env)


def registered(panel):  # the clock's item, within 10 s
    return until(lambda: any(line.startswith("item ") for line in panel.out), 10)


def panel_lane():
    wayland = weston()
    for late in ("panel", "host"):  # a late host: the watcher's name is there first
        env, _ = home(f"late {late}", b"", f"LANG=ja_JP.UTF-8 WAYLAND_DISPLAY={wayland} QT_LOGGING_RULES="
                      f"variredu.tray.debug=true DBUS_SESSION_BUS_ADDRESS={session_bus()}")
        first = panel(env, "--host-later") if late == "host" else None
        named = until(lambda: first is None or "watching" in first.out, 10)
        p = Proc([BIN, "--speech-engine", "none"], env)
        waiting = until(lambda: any("waits for a D-Bus tray host" in line for line in p.err), 30)
        label = lambda: [line.split()[-1] for line in p.err if " label window " in line]  # noqa: E731
        at_once = until(lambda: label(), 5) if late == "panel" else None
        if late == "panel":
            first = panel(env)
        elif until(lambda: "asked False" in first.out, 10):
            first.send_signal(signal.SIGUSR1)
        came = registered(first)
        at_once = label() if at_once is None else at_once  # by now the clock's start is long over
        first.stop(signal.SIGKILL)
        check(f"desktop on Wayland, a late {late}: the label window shows at once only with no watcher; the clock's "
              "tray item registers within 10 s, the label window goes, and the item registers again within 10 s of "
              "the panel's restart; SIGTERM ends it with 0", (True, late == "panel", True, True, True, 0),
              (bool(named and waiting), bool(at_once), bool(came), bool(until(lambda: label()[-1:] != ["shown"], 10)),
               bool(registered(panel(env))), p.stop()))

# Each row has a speech-dispatcher of its own whose one module records each text, with its language,
# once it has spoken it to its end: at once, but "long" takes 5 s.
SPEECHD_CONF = """AudioOutputMethod "alsa"
AddModule "capture" "sd_generic" "capture.conf"
DefaultModule capture
"""
CAPTURE_CONF = """GenericExecuteSynth \\
"d=\\'$DATA\\'; case $d in long) sleep 5;; esac; printf \\'%s %s\\\\0\\' $LANGUAGE \\"$d\\" >> {}"
GenericMaxChunkLength 1000000
GenericDelimiters "|"
GenericLanguage "en" "en" "utf-8"
GenericLanguage "ja" "ja" "utf-8"
AddVoice "en" "MALE1" "en"
AddVoice "ja" "MALE1" "ja"
"""
JA = [alarm(1, "07", "00", "釣り大会"), alarm(2, "07", "00", "今日は東京タワーで大会"), alarm(3, "07", "00")]
JAPANESE = ["ja 7 ヴァルドリア", "ja ", "ja ", "ja "]  # the time signal in Japanese, then the alarms
EN_SAID = conf(JA + [alarm(4, "07", "00", "long"), alarm(5, "07", "01", "Fishing")], True)
EN_HEARD = ["en 7 V.T. o'clock.", "en 釣り大会", "en 今日は東京タワーで大会", "en 7 hours 0 minutes.", "en long", "en Fishing"]
TWO = conf([alarm(1, "07", "00", "first"), alarm(2, "07", "01", "second")])
SPEECH = [  # name, environment, settings, the texts received in order (each one's start), whether
    # espeak-ng's Japanese voice reads each by letter names (or not at all) when that matters, what
    # befalls speech-dispatcher once the first text is spoken (it hangs, or is killed), and the engine
    ("en_US", "", EN_SAID, EN_HEARD, None), ("en_US through Qt", "", EN_SAID, EN_HEARD, None, None, "qt:speechd"),
    ("ja_JP, every text readable by espeak-ng", "LANG=ja_JP.UTF-8",
     conf(JA + [alarm(4, "07", "00", "ﾎﾞｽ討伐🎣 Boss ７時に\n港で集合！")], True), JAPANESE + ["ja "], False),
    ("ja_JP, LANGUAGE=ja:en: readable too", "LANG=ja_JP.UTF-8 LANGUAGE=ja:en", conf(JA, True), JAPANESE, False),
    ("ja_JP, kana reading off", "LANG=ja_JP.UTF-8", conf(JA, True) + b"japaneseKanaReading=false\n",
     ["ja 7 ヴァルドリア時間", "ja 釣り大会", "ja 今日は東京タワーで大会", "ja 7 時 0 分"], True),
    ("en_US, the engine hangs in the call with the next text", "", TWO, ["en first"], None, "hang"),
    # (the name is part of the daemon's socket path, which must stay within 107 bytes)
    ("en_US, speech-dispatcher killed, started again", "", TWO, ["en first", "en second"], None, "kill")]


# A run's own directories with a speech-dispatcher configuration, speech logged on stderr; the file
# its texts go to.
def speaker(name, settings, words):
    env, _ = home(name, settings, words + " QT_LOGGING_RULES=variredu.speech.debug=true")
    config = env["XDG_CONFIG_HOME"] + "/speech-dispatcher"
    heard = env["HOME"] + "/heard"
    os.makedirs(config + "/modules")
    Path(config + "/speechd.conf").write_text(SPEECHD_CONF)
    Path(config + "/modules/capture.conf").write_text(CAPTURE_CONF.format(heard))
    Path(env["HOME"] + "/.asoundrc").write_text("pcm.!default { type null }\n")  # opened, never played to
    return env, heard


def texts(heard):
    return (read(heard) or b"").decode().split("\0")[:-1]


def spelled(text):  # espeak-ng reads it by letter names, or not at all
    phonemes = "".join(run(["espeak-ng", "-q", "-v", "ja", "-x", text])[1])
    return "ni:z(ja)l" in phonemes or not phonemes.strip()


def daemon(env):
    return int(read(env["XDG_RUNTIME_DIR"] + "/speech-dispatcher/pid/speech-dispatcher.pid"))


# Once P has had a text spoken, speech-dispatcher stops (SIGSTOP; continued and killed with the
# group); true once P has handed it the next text, in a call that now never returns.
def hang(env, heard, p):
    until(lambda: texts(heard), 60)
    os.kill(daemon(env), signal.SIGSTOP)
    return until(lambda: sum("hand over" in line for line in p.err) > len(texts(heard)), 30)


def speech_row(name, words, settings, want, letters, fault=None, engine=None):
    env, heard = speaker(name, settings, words)
    p = Proc([BIN, "--terminal", "--at", SEVEN] + ["--speech-engine", engine] * bool(engine), env)
    if fault == "kill":
        until(lambda: texts(heard), 60)
        os.kill(daemon(env), signal.SIGKILL)
    came = hang(env, heard, p) if fault == "hang" else until(
        lambda: texts(heard)[len(want) - 1:] and "VT: 07:01" in p.out, 30)
    seen = texts(heard)
    status = p.stop(signal.SIGTERM, 1)
    check(f"speech, {name}: speech-dispatcher is asked to say {len(want)} texts, in order, each once"
          "; SIGTERM ends the clock with 0 within 1 s", (want, [letters] * len(want), True, 0),
          (cut(seen, want), [None if letters is None else spelled(t[3:]) for t in seen], bool(came), status))


# The tray program quits (SIGTERM) with its engine hung, frozen (SIGSTOP) until a second launch has
# found its lock taken and no answer; then it goes on. The second becomes the one clock: a third
# launch gets its window.
def relaunch_row():
    every = conf([alarm(i, "%02d" % (i // 60), "%02d" % (i % 60), "a") for i in range(1440)])
    env, heard = speaker("relaunch", every, f"DISPLAY={xvfb()}")
    first = Proc([BIN], env)
    hung = hang(env, heard, first)
    first.send_signal(signal.SIGSTOP)
    first.send_signal(signal.SIGTERM)
    second = Proc([BIN], env)
    waited = until(lambda: any("doesn't answer; waiting" in line for line in second.err), 10)
    first.send_signal(signal.SIGCONT)
    statuses = (first.stop(None, 1), launch(env), second.poll(), second.stop(signal.SIGTERM, 1))
    check("speech, a launch while the tray program quits with a hung engine waits and becomes the one clock: "
          "the first ends with 0 within 1 s, a third launch asks the second, which SIGTERM ends within 1 s",
          (True, True, (0, 0, None, 0)), (hung, waited, statuses))


# A terminal clock speaking through ENGINE, then the tray program beside it through its default, each
# minute's alarm titled by its hour and minute: the tray starts (its menu opens, a second launch gets
# its window); every minute is said once, in turn, also after the terminal has ended (SIGTERM, 0).
def beside_row(engine):
    every = conf([alarm(i, "%02d" % (i // 60), "%02d" % (i % 60), "%04d" % i) for i in range(1440)])
    display = xvfb()
    tray_host(display)
    words = f"LANG=ja_JP.UTF-8 DISPLAY={display}"  # Japanese window titles, texts as written
    env, heard = speaker(f"beside {engine}", every + b"japaneseKanaReading=false\n", words)
    terminal = Proc([BIN, "--terminal", "--speech-engine", engine], env)
    until(lambda: terminal.out, 30)
    tray = Proc([BIN], env)
    icon = until(lambda: find(display, "icon"), 30)
    started = (bool(icon) and choose(display, icon[0], ["Escape"]), launch(env),
               len(until(lambda: find(display, "settings"), 10)))
    until(lambda: len(texts(heard)) >= 2, 30)
    ended, before = terminal.stop(), len(texts(heard))
    until(lambda: len(texts(heard)) >= before + 2, 30)
    minutes = [int(text[3:]) for text in texts(heard)]
    check(f"speech, the tray beside a terminal clock speaking through {engine}: the tray starts, every minute is said "
          "once and in turn, also after the terminal has ended", ((True, 0, 1), 0, True, {1}),
          (started, ended, len(minutes) >= before + 2, {(b - a) % 1440 for a, b in zip(minutes, minutes[1:])}))
    tray.stop()


# ---- package --------------------------------------------------------------------------------------

APT = ["apt-get", "-o", "DPkg::Lock::Timeout=300", "-y"]  # another apt may hold the lock for a while


# The .deb from this build, installed with apt as a user would, then purged. Never on a machine
# where the package is installed already: that install is someone's.
def package():
    if run(["dpkg-query", "-W", "variredu-divar"])[0] == 0:
        print("SKIP package: variredu-divar is installed here already; not touching it")
        return 77
    status = run(["cpack", "--config", BUILD + "/CPackConfig.cmake", "-B", WORK], timeout=600)[0]
    debs = glob.glob(WORK + "/*.deb")
    if not check("package: cpack builds one .deb", (0, 1), (status, len(debs))):
        return
    status, out, err = run(["lintian", "--fail-on", "error", debs[0]], timeout=600)
    check("package: lintian reports no errors", (0, []), (status, [line for line in out + err if line[:2] == "E:"]))
    fields = " ".join(run(["dpkg-deb", "-f", debs[0], "Depends", "Recommends"])[1])
    check("package: it brings the speech engine, its Japanese voice and the dictionary of the kana reading", [],
          [p for p in ["libmecab2", "mecab-ipadic-utf8", "speech-dispatcher-espeak-ng", "libspeechd2"]
           if not re.search(rf"\b{p}\b", fields)])
    try:
        status = run(APT + ["install", debs[0]], None, 600)[0]
        owned = [f for f in run(["dpkg", "-L", "variredu-divar"])[1] if os.path.isfile(f) or "/variredu-divar" in f]
        env, _ = home("package")
        faults = install_faults("/usr", "validate", "/usr" + METAINFO)
        once = run(["variredu-divar", "--once"], env)
        check(f"package: apt-get install ./{os.path.basename(debs[0])}, every file in place, the validators content, "
              "variredu-divar --once from PATH", (0, [], "/usr/bin/variredu-divar", 0, [True]),
              (status, faults, shutil.which("variredu-divar", path=env["PATH"]), once[0],
               [bool(re.fullmatch(r"VT: \d\d:\d\d", line)) for line in once[1]]))
    finally:
        status = run(APT + ["purge", "variredu-divar"], None, 600)[0]
    check(f"package: apt-get purge leaves none of its {len(owned)} files", (0, []),
          (status, [f for f in owned if os.path.lexists(f)]))


GROUPS = {"cli": cli, "package": package,
          "terminal": lambda: together([lambda r=r: terminal_row(*r) for r in terminal_rows()]),
          "desktop": lambda: together([tray_lane, stored_lane, hostile_lane, label_lane, panel_lane]),
          "speech": lambda: together([lambda r=r: speech_row(*r) for r in SPEECH] + [relaunch_row] +
                                     [lambda e=e: beside_row(e) for e in ("none", "stdout", "speechd")])}
TOOLS = {"desktop": ["Xvfb", "trayer", "xdotool", "xwininfo", "xprop", "import", "weston", "dbus-daemon"],
         "speech": ["speech-dispatcher", "espeak-ng", "Xvfb", "trayer", "xdotool", "xwininfo",
                    "/usr/lib/*/qt6/plugins/texttospeech/*speechd*"],
         "package": ["cpack", "lintian", "apt-get", "dpkg", "desktop-file-validate", "appstreamcli"]}


def main():
    missing = [t for t in TOOLS.get(GROUP, []) if not (shutil.which(t) or glob.glob(t))]
    missing += ["root"] * (GROUP == "package" and os.geteuid() != 0)
    try:
        status = 77 if missing else GROUPS[GROUP]()
    finally:  # everything started with one of the group's directories: clocks, speech-dispatchers, Xvfb
        for environ in glob.glob("/proc/[0-9]*/environ"):
            with contextlib.suppress(OSError), open(environ, "rb") as f:
                if f"={WORK}".encode() in f.read():
                    os.kill(int(environ.split("/")[2]), signal.SIGCONT)  # a speech-dispatcher stopped by a row
                    os.kill(int(environ.split("/")[2]), signal.SIGKILL)
        run(["chattr", "-R", "-i", WORK])  # what readonly() made immutable
        shutil.rmtree(WORK, ignore_errors=True)
    print(f"SKIP {GROUP}: missing {' '.join(missing)}" if missing else f"{COUNTS[0]} passed, {COUNTS[1]} failed")
    return 77 if status == 77 else int(COUNTS[1] > 0)


if __name__ == "__main__":
    sys.exit(main())
