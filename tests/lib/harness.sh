# Sourced by the test scripts that run the real binary: a scratch directory, the checks with their
# "N passed, N failed" count, the processes a script starts (stopped in reverse order when it ends),
# waiting for a condition, and virtual X displays.
#
# Sets work (removed at exit), pids, passed and failed. A script that leaves more behind than its
# processes and files (attributes, modes) defines release_work, which runs before work is removed.

work=$(mktemp -d -t vd-tests.XXXXXX)
pids=()
passed=0
failed=0

now_ms() {
    local t=${EPOCHREALTIME//[!0-9]/}
    echo $((10#$t / 1000))
}

alive() { kill -0 "$1" 2>/dev/null; }
sha() { sha256sum <"$1" | cut -d' ' -f1; }

forget() {
    local pid=$1 i
    for i in "${!pids[@]}"; do [ "${pids[i]}" = "$pid" ] && unset 'pids[i]'; done
    pids=("${pids[@]}")
}

# Asks the process to end, gives it five seconds, then makes sure. Sets ended_status to its exit
# status, or to "hung" when SIGTERM did not end it.
stop() {
    local pid=$1 deadline status
    ended_status=gone
    if kill -TERM "$pid" 2>/dev/null; then
        deadline=$(($(now_ms) + 5000))
        while alive "$pid" && (($(now_ms) < deadline)); do sleep 0.05; done
        if alive "$pid"; then
            kill -KILL "$pid" 2>/dev/null
            ended_status=hung
        fi
    fi
    wait "$pid" 2>/dev/null
    status=$?
    [ "$ended_status" = hung ] || ended_status=$status
    forget "$pid"
}

cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop "${pids[i]}"; done
    if declare -F release_work >/dev/null; then release_work; fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

pass() {
    passed=$((passed + 1))
    echo "PASS $1"
}

fail() { # name, then lines that explain
    failed=$((failed + 1))
    echo "FAIL $1"
    shift
    local line
    for line in "$@"; do printf '    %s\n' "$line"; done
}

check() { # name, expected, actual
    if [ "$2" == "$3" ]; then
        pass "$1"
    else
        fail "$1" "expected: $(printf '%q' "$2")" "actual:   $(printf '%q' "$3")"
    fi
}

ok_if() { # name, then a command that must succeed
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}

# Prints the count and exits, with 0 only when nothing failed. After a failure the logs in work
# (*.log, one directory deep) are shown first.
finish() {
    local log
    if [ "$failed" -gt 0 ]; then
        for log in "$work"/*.log "$work"/*/*.log; do
            [ -s "$log" ] || continue
            echo "--- ${log#"$work"/}"
            tail -n 40 "$log"
        done
    fi
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

# A check that later ones depend on: without it the run ends here.
require() {
    fail "$@"
    finish
}

# Runs "$@" every 0.1 s until it succeeds or TIMEOUT_MS pass.
poll() {
    local timeout_ms=$1 deadline
    shift
    deadline=$(($(now_ms) + timeout_ms))
    until "$@"; do
        (($(now_ms) >= deadline)) && return 1
        sleep 0.1
    done
}

sleep_until() { # real ms
    local delta=$(($1 - $(now_ms)))
    ((delta > 0)) && sleep "$((delta / 1000)).$(printf '%03d' $((delta % 1000)))"
    return 0
}

# Prints the first of the named commands that is not installed; fails when all are there.
missing_tool() {
    local tool
    for tool; do
        command -v "$tool" >/dev/null || { echo "$tool"; return 0; }
    done
    return 1
}

# Real seconds since the epoch of Valdrian 06:59:30 on day 19000, where the terminal clock is started
# to see 07:00 come: (19000 * 86400 + 25170) / (144/7).
before_seven=$(awk 'BEGIN { printf "%.3f", (19000 * 86400 + 25170) / 20.571428571428573 }')

# The program's environment for a run with its files in DIR: settings and runtime directories of
# its own (so the user's settings and a running clock are never touched), no session bus (a desktop's
# StatusNotifier watcher would take the icon away from the tray on a test display), and none of the
# caller's languages, desktop theme, scaling, speech-dispatcher or logging rules. Makes the
# directories; sets clock_env and conf (the settings file).
own_env() { # directory
    local dir=$1
    mkdir -p "$dir/config/variredu-divar"
    mkdir -m 700 "$dir/runtime"
    clock_env=(env -u LC_ALL -u LC_MESSAGES -u LANGUAGE -u QT_QPA_PLATFORMTHEME -u QT_STYLE_OVERRIDE
        -u QT_SCALE_FACTOR -u QT_SCREEN_SCALE_FACTORS -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION
        -u SPEECHD_ADDRESS -u SPEECHD_CMD -u QT_LOGGING_RULES
        XDG_CONFIG_HOME="$dir/config" XDG_RUNTIME_DIR="$dir/runtime" DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/no-bus")
    conf=$dir/config/variredu-divar/variredu-divar.conf
}

# Starts Xvfb on a display it finds free and names on a pipe once it accepts connections, so that
# nothing waits blindly. Exports DISPLAY.
start_display() { # name, for its pipe and log
    local display
    rm -f "$work/$1.fifo"
    mkfifo "$work/$1.fifo"
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/$1.fifo" 2>"$work/$1-xvfb.log" &
    pids+=($!)
    read -r -t 30 display <"$work/$1.fifo" && [ -n "$display" ] && export DISPLAY=":$display"
}

# Starts trayer as the tray host of DISPLAY, along its top edge, and waits for its panel.
start_trayer() {
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true --expand true \
        >"$work/trayer.log" 2>&1 &
    pids+=($!)
    poll 10000 xdotool search --onlyvisible --class trayer >/dev/null 2>&1
}
