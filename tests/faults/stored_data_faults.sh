#!/usr/bin/env bash
# The real binary against damaged, huge, read-only and abandoned stored data:
#   terminal  the terminal clock: settings files of garbage text, binary bytes, a 10 MB alarm text,
#             JSON nested 100,000 deep and a list of 10,000 alarms; a read-only settings file and
#             directory; SIGTERM while speaking; a single-instance lock left by a killed clock.
#   desktop   the tray program on virtual X displays (one without a tray host, one with trayer):
#             the same files, the alarm settings window's first edit (the unreadable text must
#             survive in alarmsBackup), read-only settings, SIGKILL right after an edit and the
#             lock that leaves behind.
# Usage: stored_data_faults.sh [terminal|desktop] (both when not given). Prints one line per check
# and "N passed, N failed"; exits 77 (skipped) when the desktop part lacks its X tools.
set -uo pipefail
bin=${VD_BINARY:?set VD_BINARY to the variredu-divar binary}
reader=${VD_READ_SETTING:?set VD_READ_SETTING to the read_setting helper}
part=${1:-all}

source "$(dirname "${BASH_SOURCE[0]}")/../lib/harness.sh"
chmod 755 "$work" # reachable by the unprivileged user some read-only cases run as
immutable=() # paths given the immutable attribute, released before the directory goes
unwritable=() # paths made read-only with chmod

# A speech-dispatcher the clock started for a case, by its pid file, then anything else still
# running with that case's runtime directory (its output modules).
stop_speech_daemons() { # runtime directory
    local runtime=$1 pid file
    pid=$(cat "$runtime/speech-dispatcher/pid/speech-dispatcher.pid" 2>/dev/null)
    if [[ $pid =~ ^[0-9]+$ ]] && kill -TERM "$pid" 2>/dev/null; then
        for _ in $(seq 50); do alive "$pid" || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null
    fi
    for file in /proc/[0-9]*/environ; do
        pid=${file#/proc/}
        pid=${pid%/environ}
        [ "$pid" = $$ ] && continue
        if { tr '\0' '\n' <"$file"; } 2>/dev/null | grep -qxF "XDG_RUNTIME_DIR=$runtime"; then
            kill -KILL "$pid" 2>/dev/null
        fi
    done
}

release_work() {
    local path
    for path in "$work"/*/runtime; do [ -d "$path/speech-dispatcher" ] && stop_speech_daemons "$path"; done
    for path in "${immutable[@]}"; do chattr -i "$path" 2>/dev/null; done
    for path in "${unwritable[@]}"; do chmod u+w "$path" 2>/dev/null; done
}

# ---- test data ----------------------------------------------------------------------------------

data=$work/data
mkdir "$data"

# The clock, started at before_seven (06:59:30), wakes once a second, about 20.6 Valdrian seconds:
# 07:00 comes with the second tick, 07:01 with the fifth.

# A JSON text as the value of alarms= in an INI file, quoted the way Qt reads it back unchanged.
ini_value() { # file with the text
    printf '"'
    perl -pe 's/\\/\\\\/g; s/"/\\"/g' "$1"
    printf '"\n'
}

# Garbage text: an unreadable alarms line first, then lines of random printable characters, some
# kana, brackets, quotes, backslashes and equals signs (a fixed seed: the same every run).
perl -e 'srand(7); my @c = (map(chr, 32 .. 126), "\t", "\xe9\x87\xa3\xe3\x82\x8a");
    print "alarms=[{\"id\": oops, \"hour\": 7} ;# \\ \xe9\x87\xa3\xe3\x82\x8a\n";
    for (1 .. 300) { print map({ $c[int(rand(@c))] } 1 .. int(rand(90))), "\n" }' >"$data/garbage.conf"
# An alarms line of every byte value but the line ends, then 64 KiB of a fixed byte pattern (NULs
# and invalid UTF-8 included).
perl -e 'print "alarms=", map({ chr } grep { $_ != 10 && $_ != 13 } 0 .. 255), "\n";
    print map({ chr(($_ * 167 + ($_ >> 8) * 13) & 255) } 0 .. 65535)' >"$data/binary.conf"
# A 10 MB alarm list, every element valid but the last: unreadable as a whole. Many of its alarms
# are on and due at 07:00.
perl -e 'my ($n, $i) = (0, 0); print "[";
    while ($n < 10 * 1024 * 1024) {
        my $e = sprintf("{\"id\":\"%08X-1111-4000-8000-%012X\",\"hour\":\"%02d\",\"minutes\":\"%02d\",\"title\":\"\xe9\x87\xa3\xe3\x82\x8a \\\"%d\\\" ;# \\\\ x\",\"enabled\":true},",
            $i, $i, int($i / 60) % 24, $i % 60, $i);
        print $e; $n += length($e); $i++;
    }
    print "{\"id\":\"not-a-uuid\",\"hour\":\"07\",\"minutes\":\"00\",\"title\":\"\",\"enabled\":true}]"' >"$data/big.json"
# Arrays nested 100,000 deep.
perl -e 'print "[" x 100000, "]" x 100000' >"$data/deep.json"
# 10,000 valid alarms: alarm i at hour (i / 60) % 24, minute i % 60, titled "a<i>", on when
# (i / 1440) is even. Due at 07:00: a420, a3300, a6180, a9060 (a1860, a4740, a7620 are off).
perl -e 'my @a; for my $i (0 .. 9999) {
        push @a, sprintf("{\"id\":\"%08X-0000-4000-8000-%012X\",\"hour\":\"%02d\",\"minutes\":\"%02d\",\"title\":\"a%d\",\"enabled\":%s}",
            $i, $i, int($i / 60) % 24, $i % 60, $i, int($i / 1440) % 2 == 0 ? "true" : "false") }
    print "[", join(",", @a), "]"' >"$data/list10k.json"
{ printf '[General]\nenableTimeSignal=true\nalarms='; ini_value "$data/big.json"; } >"$data/big.conf"
{ printf '[General]\nenableTimeSignal=true\nalarms='; ini_value "$data/deep.json"; } >"$data/deep.conf"
{ printf '[General]\nalarms='; ini_value "$data/list10k.json"; } >"$data/list10k.conf"

one_alarm_conf() { # id, hour, minutes, title
    printf '[General]\nalarms="[{\\"id\\":\\"%s\\",\\"hour\\":\\"%s\\",\\"minutes\\":\\"%s\\",\\"title\\":\\"%s\\",\\"enabled\\":true}]"\n' "$@"
}
readonly kept_id=5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58

# The generated files read back as they were meant (a check of this script, not of the program).
for name in big deep list10k; do
    "$reader" "$data/$name.conf" alarms | cmp -s - "$data/$name.json" ||
        require "test data: $name.conf holds $name.json"
done

# ---- cases --------------------------------------------------------------------------------------

# A fresh case: its own settings, runtime and home directories. Sets case_dir, conf and clock_env;
# run_as (empty, or setpriv to an unprivileged user) is set by the read-only cases.
run_as=()
new_case() { # name
    case_dir=$work/$1
    own_env "$case_dir"
    mkdir "$case_dir/home"
    clock_env+=(HOME="$case_dir/home" XDG_CACHE_HOME="$case_dir/home/.cache")
    run_as=()
}

lock_holder() { head -n 1 "$case_dir/runtime/variredu-divar.lock" 2>/dev/null; }
holds_lock() { [ "$(lock_holder)" = "$1" ]; }

# Starts the terminal clock at Valdrian 06:59:30 in the background. Sets term_pid.
start_terminal() { # output name, language, speech engine, extra environment...
    local name=$1 lang=$2 engine=$3
    shift 3
    "${run_as[@]}" "${clock_env[@]}" LANG="$lang" "$@" "$bin" --terminal --speech-engine "$engine" \
        --at "$before_seven" >"$case_dir/$name.out" 2>"$case_dir/$name.err" &
    term_pid=$!
    pids+=("$term_pid")
}

label_or_exit() { grep -qxF "$2" "$1" || ! alive "$3"; }

# Runs the terminal clock of the case in English from 06:59:30, writing clock.out and clock.err,
# and checks that it keeps running until it prints VT: 07:01 (three Valdrian minutes) and that
# SIGTERM then ends it with status 0.
run_terminal() { # what the checks of this case are called
    local ticked=no
    start_terminal clock en_US.UTF-8 stdout
    poll 60000 label_or_exit "$case_dir/clock.out" "VT: 07:01" "$term_pid"
    alive "$term_pid" && grep -qxF "VT: 07:01" "$case_dir/clock.out" && ticked=yes
    stop "$term_pid"
    check "$1: keeps ticking to 07:01" yes "$ticked"
    check "$1: SIGTERM ends it with status 0" 0 "$ended_status"
}

# ---- terminal: damaged and huge settings --------------------------------------------------------

terminal_part() {
    local name expected
    for name in garbage binary big deep list10k; do
        new_case "terminal-$name"
        cp "$data/$name.conf" "$conf"
        run_terminal "terminal $name"
        check "terminal $name: nothing on stderr" "" "$(cat "$case_dir/clock.err")"
        check "terminal $name: settings file untouched" "$(sha "$data/$name.conf")" "$(sha "$conf")"
        case $name in
        garbage | binary)
            # An empty list and no switches: nothing to say.
            check "terminal $name: labels only" $'VT: 06:59\nVT: 07:00\nVT: 07:01' "$(cat "$case_dir/clock.out")"
            ;;
        big | deep)
            # The time signal is read from the same file; the unreadable list says nothing, not
            # even the many valid alarms due at 07:00 in the 10 MB text.
            check "terminal $name: only the time signal" $'VT: 06:59\nen-US\t7 V.T. o\'clock.\nVT: 07:00\nVT: 07:01' \
                "$(cat "$case_dir/clock.out")"
            ;;
        list10k)
            # The alarms due at 07:00 and at 07:01, in list order, each once; the off ones not. (The
            # first tick may also announce 06:59, which the clock's minute-change rule decides.)
            expected=$'VT: 06:59\nen-US\ta420\nen-US\ta3300\nen-US\ta6180\nen-US\ta9060\nVT: 07:00'
            expected+=$'\nen-US\ta421\nen-US\ta3301\nen-US\ta6181\nen-US\ta9061\nVT: 07:01'
            check "terminal list10k: announces the due alarms" "$expected" \
                "$(grep -vxE $'en-US\ta(419|1859|3299|4739|6179|7619|9059)' "$case_dir/clock.out")"
            ;;
        esac
    done
}

# ---- read-only settings: how this machine can make a file unwritable for the program -----------

# chmod for an ordinary user; as root (which chmod does not stop) the immutable attribute, or else
# running the program as an unprivileged user. VD_FAULTS_READONLY=chmod|chattr|setpriv picks one.
readonly_method=
readonly_why=
choose_readonly_method() {
    local probe=$work/readonly-probe
    readonly_method=${VD_FAULTS_READONLY:-}
    [ -n "$readonly_method" ] && return 0
    if [ "$(id -u)" != 0 ]; then
        readonly_method=chmod
        return 0
    fi
    : >"$probe"
    if command -v chattr >/dev/null && chattr +i "$probe" 2>/dev/null; then
        if ! (: >>"$probe") 2>/dev/null; then
            chattr -i "$probe"
            readonly_method=chattr
            return 0
        fi
        chattr -i "$probe"
    fi
    if command -v setpriv >/dev/null &&
        setpriv --reuid=65534 --regid=65534 --clear-groups -- test -x "$bin" 2>/dev/null &&
        setpriv --reuid=65534 --regid=65534 --clear-groups -- test -r "$probe" 2>/dev/null; then
        readonly_method=setpriv
        return 0
    fi
    readonly_why="running as root, the immutable attribute does not work here (chattr) and the program can't run as user 65534 (setpriv)"
    return 1
}

# Makes the settings file (what=file) or its directory (what=dir) of the current case unwritable
# for the program.
make_readonly() { # file|dir
    local target=$conf
    [ "$1" = dir ] && target=$(dirname "$conf")
    case $readonly_method in
    chmod)
        chmod a-w "$target"
        unwritable+=("$target")
        ;;
    chattr)
        chattr +i "$target"
        immutable+=("$target")
        ;;
    setpriv)
        # The program runs as user 65534, which owns its runtime and home directories (and the
        # settings directory when only the file is to be read-only); root keeps the rest.
        run_as=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
        chown 65534:65534 "$case_dir/runtime" "$case_dir/home"
        chmod 755 "$case_dir" "$case_dir/config" "$(dirname "$conf")"
        chmod 644 "$conf"
        if [ "$1" = file ]; then
            chown 65534:65534 "$(dirname "$conf")"
        else
            chown 65534:65534 "$conf"
        fi
        ;;
    esac
}

# Says how settings are made read-only here, or why they can't be (and fails).
readonly_ready() {
    if choose_readonly_method; then
        echo "read-only settings made with: $readonly_method"
    else
        echo "SKIP read-only settings: $readonly_why"
        return 1
    fi
}

# A case whose settings file, holding the alarm "kept" at 07:00, is read-only (what=file) or in a
# read-only directory (what=dir). Sets before (the file's checksum) and message (the line the
# program should write once on stderr).
new_readonly_case() { # name, file|dir
    new_case "$1"
    one_alarm_conf "$kept_id" 07 00 kept >"$conf"
    make_readonly "$2"
    before=$(sha "$conf")
    message="variredu-divar: settings can't be saved to $conf; changes will be lost"
}

terminal_readonly_part() {
    local what message before
    readonly_ready || return 0
    for what in file dir; do
        new_readonly_case "terminal-readonly-$what" "$what"
        run_terminal "terminal read-only $what"
        check "terminal read-only $what: says once on stderr that settings can't be saved" "$message" \
            "$(cat "$case_dir/clock.err")"
        check "terminal read-only $what: still reads and speaks the alarms" \
            $'VT: 06:59\nen-US\tkept\nVT: 07:00\nVT: 07:01' "$(cat "$case_dir/clock.out")"
        check "terminal read-only $what: settings file unchanged" "$before" "$(sha "$conf")"
    done
}

# ---- terminal: SIGTERM while speaking -----------------------------------------------------------

speaking() { grep -q "engine state Speaking" "$1" || ! alive "$2"; }

terminal_sigterm_part() {
    new_case terminal-sigterm
    # speech-dispatcher of this case's own (libspeechd starts it through XDG_RUNTIME_DIR), with its
    # sound going to ALSA's null device.
    mkdir -p "$case_dir/config/speech-dispatcher" "$case_dir/log"
    printf 'pcm.!default { type null }\nctl.!default { type null }\n' >"$case_dir/home/.asoundrc"
    printf 'AudioOutputMethod "alsa"\nLogDir "%s"\n' "$case_dir/log" >"$case_dir/config/speech-dispatcher/speechd.conf"
    # The time signal and 30 long alarms at 07:00: the engine is still busy a second later.
    local title='a long announcement that keeps the speech engine busy for a good while' alarms= i
    title="$title, $title, $title"
    for i in $(seq 10 39); do
        alarms+="{\"id\":\"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C$i\",\"hour\":\"07\",\"minutes\":\"00\",\"title\":\"$title $i\",\"enabled\":true},"
    done
    printf '%s' "[${alarms%,}]" >"$case_dir/alarms.json"
    { printf '[General]\nenableTimeSignal=true\nalarms='; ini_value "$case_dir/alarms.json"; } >"$conf"
    local before handed
    before=$(sha "$conf")

    start_terminal clock en_US.UTF-8 qt QT_LOGGING_RULES=variredu.speech.debug=true
    if poll 30000 speaking "$case_dir/clock.err" "$term_pid" && alive "$term_pid"; then
        sleep 1
        handed=$(grep -c "hand over" "$case_dir/clock.err")
        local t0
        t0=$(now_ms)
        stop "$term_pid"
        check "SIGTERM while speaking: exit status 0 within 5 s" 0 "$ended_status"
        echo "    (ended $(($(now_ms) - t0)) ms after SIGTERM, $handed of 31 texts handed over)"
        ok_if "SIGTERM while speaking: texts were still waiting (it was speaking)" test "$handed" -lt 31
        check "SIGTERM while speaking: nothing on stdout but labels" "" "$(grep -v '^VT: ' "$case_dir/clock.out")"
    else
        stop "$term_pid"
        echo "NOTE the Qt speech engine did not start speaking within 30 s here (that attempt ended with" \
            "status $ended_status on SIGTERM); SIGTERM is checked with --speech-engine stdout"
        sed 's/^/    /' "$case_dir/clock.err" | tail -n 5
        start_terminal clock-stdout en_US.UTF-8 stdout
        poll 60000 label_or_exit "$case_dir/clock-stdout.out" "VT: 07:00" "$term_pid"
        stop "$term_pid"
        check "SIGTERM after speaking to stdout: exit status 0 within 5 s" 0 "$ended_status"
    fi
    stop_speech_daemons "$case_dir/runtime"
    check "SIGTERM while speaking: settings file unchanged" "$before" "$(sha "$conf")"
}

# ---- terminal: a lock left by a killed clock ----------------------------------------------------

terminal_stale_lock_part() {
    new_case terminal-stale-lock
    one_alarm_conf "$kept_id" 07 00 wake >"$conf"
    start_terminal first en_US.UTF-8 stdout
    local first=$term_pid
    if ! poll 30000 holds_lock "$first"; then
        fail "stale lock: the first terminal clock takes the lock" "lock: $(lock_holder)"
        stop "$first"
        return
    fi
    kill -KILL "$first"
    wait "$first" 2>/dev/null
    forget "$first"
    check "stale lock: left behind by the killed clock" "$first" "$(lock_holder)"

    start_terminal second en_US.UTF-8 stdout
    local second=$term_pid
    ok_if "stale lock: the next terminal clock takes it over" poll 30000 holds_lock "$second"
    # And holds it for real: one more clock with the same runtime directory stays silent.
    start_terminal third en_US.UTF-8 stdout
    local third=$term_pid
    ok_if "stale lock: a clock started after that will not speak" \
        poll 30000 grep -q "will not speak" "$case_dir/third.err"
    stop "$third"
    poll 60000 label_or_exit "$case_dir/second.out" "VT: 07:01" "$second"
    stop "$second"
    check "stale lock: the clock that took over exits with 0" 0 "$ended_status"
    check "stale lock: the clock that took over speaks" $'VT: 06:59\nen-US\twake\nVT: 07:00\nVT: 07:01' \
        "$(cat "$case_dir/second.out")"
    check "stale lock: and does not say it won't" "" "$(cat "$case_dir/second.err")"
}

# ---- desktop: the tray program on virtual displays ----------------------------------------------

# Starts the tray program of the current case on DISPLAY; waits until it holds the lock and listens.
# Sets tray_pid.
start_tray() { # output name
    "${run_as[@]}" "${clock_env[@]}" LANG=ja_JP.UTF-8 QT_QPA_PLATFORM=xcb DISPLAY="$DISPLAY" \
        "$bin" --speech-engine none >"$case_dir/$1.out" 2>"$case_dir/$1.err" &
    tray_pid=$!
    pids+=("$tray_pid")
    poll 30000 tray_up "$tray_pid"
}
tray_up() { holds_lock "$1" && [ -S "$case_dir/runtime/variredu-divar.socket" ]; }

# The check that the tray program of a case starts; fails (after saying why) when it does not.
tray_starts() { # what the checks of this case are called
    if start_tray clock; then
        pass "$1: starts"
    else
        fail "$1: starts" "$(tail -n 5 "$case_dir/clock.err")"
        return 1
    fi
}

# A later launch: asks the running program to open (or raise) its alarm settings window.
second_launch() {
    "${run_as[@]}" "${clock_env[@]}" LANG=ja_JP.UTF-8 QT_QPA_PLATFORM=xcb DISPLAY="$DISPLAY" \
        timeout 60 "$bin" --speech-engine none >>"$case_dir/launches.log" 2>&1
}

# The alarm settings window of tray_pid, once drawn. Sets window.
find_window() {
    window=$(timeout 30 xdotool search --sync --all --pid "$tray_pid" --name 'アラーム設定' 2>/dev/null | head -n 1)
    [ -n "$window" ] && poll 10000 window_drawn
}
# A second launch, which must open the alarm settings window; fails when no window appears.
window_opens() { # what the checks of this case are called
    ok_if "$1: a second launch opens the window" second_launch
    find_window || { fail "$1: the alarm settings window appears"; return 1; }
}
window_drawn() {
    import -window "$window" "$work/window.png" 2>/dev/null &&
        [ "$(identify -format '%k' "$work/window.png")" -ge 16 ]
}

# What the list part of the window shows (below the add button), as a pixel checksum. The pointer is
# moved off the window first, so no hover highlight gets in.
list_signature() {
    xdotool mousemove 790 590
    import -window "$window" -crop 470x280+5+45 +repage "$work/list.png" 2>/dev/null &&
        identify -format '%#' "$work/list.png"
}
list_is() { [ "$(list_signature)" = "$1" ]; }
list_differs() { [ "$(list_signature)" != "$1" ]; }

# The add button sits at the top left of the window's content.
click_add() { xdotool mousemove --window "$window" 60 25 click 1; }

# Types TEXT over the hour field of the first row.
type_hour() {
    xdotool mousemove --window "$window" 75 66 click 1
    xdotool key ctrl+a
    xdotool type --delay 50 "$1"
}
stored_hour_is() { "$reader" "$conf" alarms 2>/dev/null | grep -q "\"hour\":\"$1\""; }

alarm_count() { "$reader" "$conf" alarms 2>/dev/null | grep -o '"id":' | wc -l; }
alarm_count_is() { [ "$(alarm_count)" = "$1" ]; }

# The reference picture of an empty list: a fresh settings directory.
reference_empty_list() {
    new_case desktop-fresh
    start_tray clock && second_launch && find_window ||
        require "desktop: the tray program starts and opens its window on a fresh settings directory" \
            "$(tail -n 5 "$case_dir/clock.err")"
    empty_list=$(list_signature)
    stop "$tray_pid"
}

# The tray program with the file NAME: it starts, shows an empty list, keeps running for three
# Valdrian minutes; its first edit keeps the unreadable text in alarmsBackup.
desktop_unreadable_case() { # name, decoded alarms text (or ""), lines QSettings drops (yes/no)
    local name=$1 decoded=$2 dropped=$3 started before
    new_case "desktop-$name"
    cp "$data/$name.conf" "$conf"
    cp "$data/$name.conf" "$case_dir/original.conf"
    started=$(now_ms)
    tray_starts "desktop $name" || return
    if ! window_opens "desktop $name"; then
        stop "$tray_pid"
        return
    fi
    ok_if "desktop $name: the window shows an empty list" poll 5000 list_is "$empty_list"

    before=$(list_signature)
    click_add
    ok_if "desktop $name: adding an alarm is saved" poll 10000 alarm_count_is 1
    ok_if "desktop $name: the window shows it" poll 5000 list_differs "$before"
    local saved
    saved=$("$reader" "$conf" alarms)
    ok_if "desktop $name: the new alarm is off at 00:00" grep -q '^\[{"enabled":false,"hour":"00","id":"[0-9A-F-]\{36\}","minutes":"00","title":""}\]$' <<<"$saved"
    # The unreadable text as the program read it, byte for byte in alarmsBackup.
    "$reader" "$case_dir/original.conf" alarms >"$case_dir/original-alarms"
    local original_status=$?
    "$reader" "$conf" alarmsBackup >"$case_dir/backup"
    local backup_status=$?
    if [ "$original_status" = 0 ] && [ "$backup_status" = 0 ] &&
        cmp -s "$case_dir/original-alarms" "$case_dir/backup"; then
        pass "desktop $name: alarmsBackup holds the unreadable text ($(wc -c <"$case_dir/backup") bytes)"
    else
        fail "desktop $name: alarmsBackup holds the unreadable text" \
            "reading alarms of the original: status $original_status, $(wc -c <"$case_dir/original-alarms") bytes" \
            "reading alarmsBackup: status $backup_status, $(wc -c <"$case_dir/backup") bytes"
    fi
    if [ -n "$decoded" ]; then
        check "desktop $name: alarmsBackup is the generated text (sha256)" "$(sha "$decoded")" "$(sha "$case_dir/backup")"
    fi
    # Lines that are not key=value would go when the file is written back: the whole file is kept.
    if [ "$dropped" = yes ]; then
        ok_if "desktop $name: the whole file is kept beside it" cmp -s "$case_dir/original.conf" "$conf.unreadable"
    else
        ok_if "desktop $name: a readable file is not copied" test ! -e "$conf.unreadable"
    fi
    # Later edits are saved as well, with the hour typed made a valid one ("99" is kept as "23").
    type_hour 99
    ok_if "desktop $name: a typed hour is saved in range" poll 10000 stored_hour_is 23

    # Three Valdrian minutes (8.75 s) after the start it still runs and answers.
    sleep_until $((started + 8750))
    ok_if "desktop $name: still running after three Valdrian minutes" alive "$tray_pid"
    ok_if "desktop $name: and answers a later launch" second_launch
    stop "$tray_pid"
    check "desktop $name: SIGTERM ends it with status 0" 0 "$ended_status"
    check "desktop $name: no complaint about saving on stderr" "" "$(grep -F "can't be saved" "$case_dir/clock.err")"
}

# The tray icon's corner of the screen (trayer, top right), as a pixel checksum.
tray_signature() { import -window root -crop 200x24+600+0 +repage "$work/tray.png" 2>/dev/null && identify -format '%#' "$work/tray.png"; }

# The empty panel, once two looks at it agree. Sets settled.
tray_settled() {
    local first
    first=$(tray_signature)
    sleep 0.2
    settled=$(tray_signature)
    [ "$first" = "$settled" ]
}

icon_shown() {
    icon_seen=$(tray_signature)
    [ "$icon_seen" != "$1" ]
}

# Waits for the icon, then watches the tray corner for nine seconds (three Valdrian minutes). Sets
# icon_changes to how many times the icon changed meanwhile (-1: it never showed).
watch_icon() { # empty tray signature
    local deadline last current
    icon_changes=-1
    poll 30000 icon_shown "$1" || return 0
    icon_changes=0
    last=$icon_seen
    deadline=$(($(now_ms) + 9000))
    while (($(now_ms) < deadline)); do
        current=$(tray_signature)
        if [ "$current" != "$1" ] && [ "$current" != "$last" ]; then
            icon_changes=$((icon_changes + 1))
            last=$current
        fi
        sleep 0.2
    done
}

# The window opens on the whole list while the icon is watched: the clock keeps ticking, and the
# first row, typed in, edits the first alarm and keeps the other 9,999.
window_opens_while_ticking() { # what the checks of this case are called, empty tray signature
    local launch launch_status=0
    second_launch &
    launch=$!
    watch_icon "$2"
    ok_if "$1: the icon keeps changing while the window opens ($icon_changes times in 9 s)" \
        test "$icon_changes" -ge 2
    wait "$launch" || launch_status=$?
    check "$1: a second launch opens the window" 0 "$launch_status"
    find_window || { fail "$1: the alarm settings window appears"; return; }
    ok_if "$1: the window shows the list" poll 5000 list_differs "$empty_list"
    type_hour 99
    ok_if "$1: the first alarm's typed hour is saved" poll 10000 first_alarm_hour_is 23
    check "$1: all 10,000 alarms are kept" 10000 "$(alarm_count)"
}
first_alarm_hour_is() {
    "$reader" "$conf" alarms 2>/dev/null |
        grep -q "^\[{\"enabled\":true,\"hour\":\"$1\",\"id\":\"00000000-0000-4000-8000-000000000000\""
}

# With a tray host: the icon keeps changing (the clock ticks) while the file is huge. Then "yes"
# adds an alarm to the empty list shown, "window" opens the window on the list read.
desktop_tray_case() { # name, empty tray signature, yes|window, decoded text
    local name=$1 empty_tray=$2 edit=$3 decoded=$4
    new_case "desktop-tray-$name"
    cp "$data/$name.conf" "$conf"
    tray_starts "desktop tray $name" || return
    watch_icon "$empty_tray"
    ok_if "desktop tray $name: the icon changes with the Valdrian minutes ($icon_changes times in 9 s)" \
        test "$icon_changes" -ge 2
    ok_if "desktop tray $name: still running" alive "$tray_pid"
    if [ "$edit" = yes ]; then
        if window_opens "desktop tray $name"; then
            ok_if "desktop tray $name: the window shows an empty list" poll 5000 list_is "$empty_list"
            click_add
            ok_if "desktop tray $name: adding an alarm is saved" poll 10000 alarm_count_is 1
            "$reader" "$conf" alarmsBackup >"$case_dir/backup"
            check "desktop tray $name: alarmsBackup is the 10 MB text (sha256)" "$(sha "$decoded")" "$(sha "$case_dir/backup")"
        fi
    else
        check "desktop tray $name: settings file untouched" "$(sha "$data/$name.conf")" "$(sha "$conf")"
        window_opens_while_ticking "desktop tray $name" "$empty_tray"
    fi
    stop "$tray_pid"
    check "desktop tray $name: SIGTERM ends it with status 0" 0 "$ended_status"
}

desktop_readonly_part() {
    local what message before shown
    readonly_ready || return 0
    for what in file dir; do
        new_readonly_case "desktop-readonly-$what" "$what"
        tray_starts "desktop read-only $what" || continue
        ok_if "desktop read-only $what: says on stderr that settings can't be saved" \
            poll 10000 grep -qxF "$message" "$case_dir/clock.err"
        if window_opens "desktop read-only $what"; then
            shown=$(list_signature)
            ok_if "desktop read-only $what: the window shows the stored alarm" test "$shown" != "$empty_list"
            click_add
            # The edit fails: for two seconds neither the file nor the window changes.
            ok_if "desktop read-only $what: the window shows no alarm that was not saved" \
                eval '! poll 2000 list_differs "$shown"'
            check "desktop read-only $what: settings file unchanged after the edit" "$before" "$(sha "$conf")"
        fi
        ok_if "desktop read-only $what: still running" alive "$tray_pid"
        ok_if "desktop read-only $what: and answers a later launch" second_launch
        stop "$tray_pid"
        check "desktop read-only $what: SIGTERM ends it with status 0" 0 "$ended_status"
        check "desktop read-only $what: said it once" 1 "$(grep -cxF "$message" "$case_dir/clock.err")"
        check "desktop read-only $what: settings file unchanged" "$before" "$(sha "$conf")"
    done
}

desktop_sigkill_part() {
    new_case desktop-sigkill
    one_alarm_conf "$kept_id" 07 00 kept >"$conf"
    if ! start_tray first || ! second_launch || ! find_window; then
        fail "SIGKILL after an edit: the tray program opens its window" "$(tail -n 5 "$case_dir/first.err")"
        return
    fi
    local first=$tray_pid before
    before=$(list_signature)
    click_add
    # The window shows the new alarm: the edit is made. Killed at once, with no chance to tidy up.
    poll 10000 list_differs "$before"
    kill -KILL "$first"
    wait "$first" 2>/dev/null
    forget "$first"
    check "SIGKILL after an edit: both alarms are on disk" 2 "$(alarm_count)"
    ok_if "SIGKILL after an edit: the old alarm is kept" grep -q "\"id\":\"$kept_id\"" < <("$reader" "$conf" alarms)
    check "SIGKILL after an edit: the lock is left behind" "$first" "$(lock_holder)"

    # The next start takes the abandoned lock over instead of acting as a second instance.
    start_tray second
    local second=$tray_pid
    ok_if "stale lock (tray): the next start takes the lock over and listens" tray_up "$second"
    ok_if "stale lock (tray): it keeps running" alive "$second"
    ok_if "stale lock (tray): a later launch reaches it" poll 10000 second_launch
    if find_window; then
        click_add
        ok_if "stale lock (tray): its edits are saved" poll 10000 alarm_count_is 3
    else
        fail "stale lock (tray): its alarm settings window appears"
    fi
    stop "$second"
    check "stale lock (tray): SIGTERM ends it with status 0" 0 "$ended_status"
}

desktop_part() {
    local tool
    if tool=$(missing_tool Xvfb trayer xdotool import identify); then
        echo "SKIP desktop part: $tool is not installed (packages xvfb trayer xdotool imagemagick)"
        return 77
    fi
    # Display A: no tray host, so the program runs without its icon for these short runs.
    start_display plain || require "desktop: Xvfb starts"
    reference_empty_list
    desktop_unreadable_case garbage "" yes
    desktop_unreadable_case binary "" yes
    desktop_unreadable_case deep "$data/deep.json" no
    desktop_readonly_part
    desktop_sigkill_part

    # Display B: trayer as the tray host.
    start_display tray || require "desktop: Xvfb with trayer starts"
    start_trayer || require "desktop: trayer shows its panel"
    local empty_tray
    poll 5000 tray_settled
    empty_tray=$settled
    desktop_tray_case big "$empty_tray" yes "$data/big.json"
    desktop_tray_case list10k "$empty_tray" window ""
    return 0
}

case $part in
terminal | all)
    terminal_part
    terminal_readonly_part
    terminal_sigterm_part
    terminal_stale_lock_part
    ;;&
desktop | all)
    desktop_part
    [ $? = 77 ] && [ "$part" = desktop ] && [ "$failed" = 0 ] && exit 77
    ;;
terminal) ;;
*)
    echo "usage: $0 [terminal|desktop]" >&2
    exit 2
    ;;
esac
finish
