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

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib/usage.sh"
binary=${1:-$here/../build/src/variredu-divar}
seconds=${VD_USAGE_SECONDS:-60}
warmup=${VD_USAGE_WARMUP:-5}
engines=${VD_USAGE_ENGINES:-none qt}

need_executable "$binary"
need_durations VD_USAGE_SECONDS "$seconds" VD_USAGE_WARMUP "$warmup"

run() {
    local engine=$1
    local config="$work/config-$engine" out="$work/out-$engine" err="$work/err-$engine"
    mkdir -p "$config"

    XDG_CONFIG_HOME="$config" "$binary" --terminal --speech-engine "$engine" >"$out" 2>"$err" &
    pid=$!

    sleep "$warmup"
    survived_warmup "--speech-engine $engine" "$err" || return 1
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
    stop_measured

    local steady_ms=$((end_ms - start_ms)) steady_s=$((seconds - warmup))
    echo "--speech-engine $engine"
    echo "  run:                ${seconds} s, ${threads} threads at the end, exit status ${exit_status}," \
        "$(ms "$stop_us") ms after SIGTERM"
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
