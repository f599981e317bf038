# Sourced by the usage scripts in bench/ (they run under set -euo pipefail): a scratch directory,
# the measured program and its helpers stopped at exit, what /proc says of a running process, and a
# private virtual X display with a tray host.
#
# Sets me (the script's name, for messages), work (removed at exit), pid (the program measured now,
# empty between runs), helpers (processes it runs beside, such as Xvfb) and ticks_per_second. A
# script with more to stop at exit defines stop_more, which runs before the helpers are stopped.

me=$(basename "$0" .sh)
work=$(mktemp -d)
pid=
helpers=()
ticks_per_second=$(getconf CLK_TCK)

# shellcheck disable=SC2317 # runs from the trap
cleanup() {
    local helper
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    if declare -F stop_more >/dev/null; then stop_more; fi
    for helper in "${helpers[@]}"; do
        kill -TERM "$helper" 2>/dev/null || true
        wait "$helper" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

need_executable() { # path
    if [ ! -x "$1" ]; then
        echo "$me: no executable at $1 (build it first, or pass its path)" >&2
        exit 2
    fi
}

need_tools() { # Debian packages, then commands
    local packages=$1 tool
    shift
    for tool; do
        if ! command -v "$tool" >/dev/null; then
            echo "$me: $tool is missing (Debian: $packages)" >&2
            exit 2
        fi
    done
}

need_durations() { # name of the seconds variable, seconds, name of the warm-up variable, warm-up
    if ! [[ $2 =~ ^[0-9]+$ && $4 =~ ^[0-9]+$ ]] || [ "$4" -ge "$2" ]; then
        echo "$me: $1 and $3 must be whole numbers, warm-up shorter" >&2
        exit 2
    fi
}

now_us() {
    echo "${EPOCHREALTIME/./}"
}

# Microseconds as milliseconds with one decimal (none read as 0).
ms() {
    local us=$1
    echo "$((us / 1000)).$((us % 1000 / 100))"
}

# user+sys CPU of the whole process (all its threads, also finished ones), in milliseconds.
cpu_ms() {
    local stat fields
    stat=$(<"/proc/$1/stat")
    # The command name is in parentheses and may hold spaces: split only what follows it.
    read -ra fields <<<"${stat##*) }"
    # fields[0] is the state (field 3), so utime (field 14) and stime (field 15) are at 11 and 12.
    echo $(((fields[11] + fields[12]) * 1000 / ticks_per_second))
}

# CPU of the threads alive now, in microseconds, from the scheduler's nanosecond counts: finer than
# the clock ticks above, but blind to threads that already ended. Empty without schedstat.
live_cpu_us() {
    local total=0 run rest f seen=
    for f in /proc/"$1"/task/*/schedstat; do
        { read -r run rest <"$f"; } 2>/dev/null || continue # a thread that ended meanwhile
        total=$((total + run))
        seen=yes
    done
    if [ -n "$seen" ]; then echo $((total / 1000)); fi
}

status_kb() { # pid, field of /proc/PID/status
    awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"
}

# Fails, saying why, when the measured program did not live through its warm-up; it then counts as
# stopped.
survived_warmup() { # what runs, its stderr
    if kill -0 "$pid" 2>/dev/null; then
        return 0
    fi
    echo "$me: $1 exited early:" >&2
    cat "$2" >&2
    pid=
    return 1
}

# Ends the measured program with SIGTERM. Sets exit_status and stop_us, how long it took to end.
stop_measured() {
    local asked
    asked=$(now_us)
    kill -TERM "$pid"
    exit_status=0
    wait "$pid" || exit_status=$?
    pid=
    stop_us=$(($(now_us) - asked))
}

# Starts Xvfb on a display it finds free and trayer on it, and waits for trayer's panel; exports
# DISPLAY and keeps the programs from finding the caller's session (D-Bus, Wayland, a platform
# chosen for them), so that they dock through XEmbed into trayer.
start_tray_host() {
    local display
    mkfifo "$work/display"
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    helpers+=($!)
    if ! read -r display <"$work/display"; then
        echo "$me: Xvfb did not start:" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    export DISPLAY=":$display"
    unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY QT_QPA_PLATFORM
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true --expand true \
        >"$work/trayer.log" 2>&1 &
    helpers+=($!)
    for _ in $(seq 1 100); do
        trayer_panel >/dev/null && return 0
        sleep 0.1
    done
    echo "$me: trayer did not come up:" >&2
    cat "$work/trayer.log" >&2
    exit 1
}

# The window id of trayer's panel.
trayer_panel() {
    xwininfo -root -tree 2>/dev/null |
        awk '/"panel": \("panel" "trayer"\)/ && !found { print $1; found = 1 } END { exit !found }'
}

# A speech-dispatcher that libspeechd started for a run lives on after it, with its output modules;
# a module stuck on an audio device can hold the dispatcher's exit up for good. Each is found by the
# run's own XDG_RUNTIME_DIR in its environment and stopped by its pid, with SIGKILL for those still
# there after 3 s.
stop_speech_dispatchers() { # the run's XDG_RUNTIME_DIR
    local environ found=() spd
    for environ in /proc/[0-9]*/environ; do
        if { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF -e "XDG_RUNTIME_DIR=$1"; then
            spd=${environ#/proc/}
            spd=${spd%/environ}
            [ "$spd" != "$$" ] && found+=("$spd")
        fi
    done
    [ "${#found[@]}" -gt 0 ] || return 0
    kill -TERM "${found[@]}" 2>/dev/null || true
    local alive=()
    for _ in $(seq 1 30); do
        alive=()
        for spd in "${found[@]}"; do
            kill -0 "$spd" 2>/dev/null && alive+=("$spd")
        done
        [ "${#alive[@]}" -gt 0 ] || return 0
        sleep 0.1
    done
    kill -KILL "${alive[@]}" 2>/dev/null || true
}
