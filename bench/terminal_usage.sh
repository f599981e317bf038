#!/usr/bin/env bash
# Runs the clock in terminal mode for a while and reports its CPU time and peak memory, read from
# /proc while it still runs, then stops it with SIGTERM.
#
#   bench/terminal_usage.sh [BINARY]          default: build/src/variredu-divar in this checkout
#
# VD_USAGE_SECONDS  how long each run lasts (default 60)
# VD_USAGE_WARMUP   seconds after start that count as start-up (default 5); the steady rate is taken
#                   from the rest of the run
# VD_USAGE_ENGINES  speech engines to try, in order (default "none qt")
set -euo pipefail

binary=${1:-$(dirname "$0")/../build/src/variredu-divar}
seconds=${VD_USAGE_SECONDS:-60}
warmup=${VD_USAGE_WARMUP:-5}
engines=${VD_USAGE_ENGINES:-none qt}

if [ ! -x "$binary" ]; then
    echo "terminal_usage: no executable at $binary (build it first, or pass its path)" >&2
    exit 2
fi
if ! [[ $seconds =~ ^[0-9]+$ && $warmup =~ ^[0-9]+$ ]] || [ "$warmup" -ge "$seconds" ]; then
    echo "terminal_usage: VD_USAGE_SECONDS and VD_USAGE_WARMUP must be whole numbers, warm-up shorter" >&2
    exit 2
fi

ticks_per_second=$(getconf CLK_TCK)
work=$(mktemp -d)
pid=
# shellcheck disable=SC2317 # runs from the trap
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

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
    local total=0 run rest f
    for f in /proc/"$1"/task/*/schedstat; do
        [ -r "$f" ] || return 0
        read -r run rest <"$f"
        total=$((total + run))
    done
    echo $((total / 1000))
}

# Prints microseconds as milliseconds with one decimal.
ms() {
    echo "$(($1 / 1000)).$(($1 % 1000 / 100))"
}

status_kb() {
    awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"
}

run() {
    local engine=$1
    local config="$work/config-$engine" out="$work/out-$engine" err="$work/err-$engine"
    mkdir -p "$config"

    XDG_CONFIG_HOME="$config" "$binary" --terminal --speech-engine "$engine" >"$out" 2>"$err" &
    pid=$!

    sleep "$warmup"
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "terminal_usage: --speech-engine $engine exited early:" >&2
        cat "$err" >&2
        pid=
        return 1
    fi
    local start_ms start_us
    start_ms=$(cpu_ms "$pid")
    start_us=$(live_cpu_us "$pid")
    sleep $((seconds - warmup))

    local end_ms end_us hwm_kb rss_kb threads
    end_ms=$(cpu_ms "$pid")
    end_us=$(live_cpu_us "$pid")
    hwm_kb=$(status_kb "$pid" VmHWM)
    rss_kb=$(status_kb "$pid" VmRSS)
    threads=$(status_kb "$pid" Threads)
    local stop_us=${EPOCHREALTIME/./}
    kill -TERM "$pid"
    local rc=0
    wait "$pid" || rc=$?
    pid=
    local stopped_us=${EPOCHREALTIME/./}

    local steady_ms=$((end_ms - start_ms)) steady_s=$((seconds - warmup))
    echo "--speech-engine $engine"
    echo "  run:                ${seconds} s, ${threads} threads at the end, exit status ${rc}," \
        "$(ms $((stopped_us - stop_us))) ms after SIGTERM"
    echo "  CPU (user+sys):     ${end_ms} ms in all, ${start_ms} ms of it in the first ${warmup} s"
    echo "  CPU per minute:     $((end_ms * 60 / seconds)) ms over the whole run," \
        "$((steady_ms * 60 / steady_s)) ms after start-up (clock ticks of $((1000 / ticks_per_second)) ms)"
    if [ -n "$end_us" ]; then
        local steady_us=$((end_us - start_us))
        echo "  CPU, live threads:  $(ms "$end_us") ms in all, $(ms "$start_us") ms in the first ${warmup} s;" \
            "$(ms $((end_us * 60 / seconds))) ms per minute over the whole run," \
            "$(ms $((steady_us * 60 / steady_s))) ms after start-up (scheduler, ns)"
    fi
    echo "  peak RSS (VmHWM):   $((hwm_kb / 1024)).$((hwm_kb % 1024 * 10 / 1024)) MiB (${hwm_kb} kB;" \
        "VmRSS at the end ${rss_kb} kB)"
    echo "  lines printed:      $(wc -l <"$out")"
    if [ "$engine" != none ]; then
        if grep -q "speech unavailable" "$err"; then
            echo "  speech engine:      not available: $(grep -m1 "speech unavailable" "$err")"
        else
            echo "  speech engine:      available (a speech-dispatcher it starts is a separate process," \
                "not counted here)"
        fi
    fi
    if [ -s "$err" ]; then
        echo "  stderr:"
        sed 's/^/    /' "$err"
    fi
}

echo "terminal_usage: $binary, $(nproc) CPUs, $(date -u +%Y-%m-%dT%H:%M:%SZ)"
status=0
for engine in $engines; do
    run "$engine" || status=1
done
exit "$status"
