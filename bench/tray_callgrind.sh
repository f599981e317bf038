#!/usr/bin/env bash
# Counts the instructions the tray clock executes, under valgrind's callgrind, on a private virtual X
# display with a tray host (Xvfb + trayer): one profile of the start-up and one of the steady state
# that follows, each with the clock's own functions and the Qt drawing they cause. Instruction counts
# repeat from run to run where timings don't, so this is the tool for before/after comparisons.
#
#   bench/tray_callgrind.sh [PROGRAM]    default: build/src/variredu-divar in this checkout
#
# VD_CALLGRIND_WARMUP   seconds counted as start-up (default 20: the program runs far slower under
#                       valgrind)
# VD_CALLGRIND_SECONDS  seconds of steady state profiled after it (default 60)
# VD_CALLGRIND_OUT      keep the profiles in this directory (default: a temporary one, deleted)
#
# The program runs with --speech-engine none and default settings (fresh XDG_CONFIG_HOME and
# XDG_RUNTIME_DIR). Start-up includes valgrind's own start; the steady-state profile is the one to
# compare per icon update.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib/usage.sh"
program=${1:-$here/../build/src/variredu-divar}
warmup=${VD_CALLGRIND_WARMUP:-20}
seconds=${VD_CALLGRIND_SECONDS:-60}

need_executable "$program"
need_tools "valgrind xvfb trayer x11-utils" valgrind callgrind_control callgrind_annotate Xvfb trayer xwininfo

out=${VD_CALLGRIND_OUT:-$work/out}
mkdir -p "$out"
start_tray_host

mkdir -p "$work/config"
mkdir -m 700 "$work/runtime"
XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" QT_LOGGING_RULES="variredu.tray.debug=true" \
    valgrind --tool=callgrind --callgrind-out-file="$out/callgrind.out.%p" \
    "$program" --speech-engine none 2>"$work/err" &
pid=$!

sleep "$warmup"
callgrind_control --dump=startup "$pid" >/dev/null
icons_before=$(grep -c 'variredu.tray: icon handed over' "$work/err" || true)
sleep "$seconds"
callgrind_control --dump=steady "$pid" >/dev/null
icons_after=$(grep -c 'variredu.tray: icon handed over' "$work/err" || true)
kill -TERM "$pid"
wait "$pid" || true
pid=

# Dumps are numbered in order: .1 the start-up, .2 the steady state.
startup=$(find "$out" -name 'callgrind.out.*.1' | head -n1)
steady=$(find "$out" -name 'callgrind.out.*.2' | head -n1)
updates=$((icons_after - icons_before))

total() {
    callgrind_annotate "$1" 2>/dev/null | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1; exit }'
}

# Inclusive counts of the functions that tell where the time goes.
report() {
    local file=$1 per=$2
    callgrind_annotate --inclusive=yes --threshold=100 "$file" 2>/dev/null |
        grep -E 'clockIcon|clockPixmap|ClockIconEngine|digitPairs|digitOutlines|ClockTray::ClockTray|ClockTray::refresh|QApplication::QApplication|TimerModel::tick|QSystemTrayIcon::setIcon|QIcon::paint|QWidgetRepaintManager|QRasterPaintEngine::stroke|QPainterPath::addText|QFontDatabase|FcInit|FcConfig|QCoreApplication::exec|QApplication::QApplication|main ' |
        awk -v per="$per" 'NR <= 40 { n = $1; gsub(",", "", n); line = $0; sub(/^ *[0-9,]+ +(\([^)]*\) +)?/, "", line);
            if (per > 0) printf "  %15s  %12.0f per icon update  %s\n", $1, n / per, line;
            else printf "  %15s  %s\n", $1, line }' # reads on to the end: head would end it with SIGPIPE
}

echo "tray_callgrind: $program, start-up ${warmup} s then ${seconds} s profiled, valgrind $(valgrind --version)"
echo "start-up: $(total "$startup") instructions, ${icons_before} icon(s) handed over"
report "$startup" 0
echo "steady state: $(total "$steady") instructions over ${seconds} s, ${updates} icon updates"
report "$steady" "$updates"
if [ -n "${VD_CALLGRIND_OUT:-}" ]; then
    echo "profiles: $startup $steady"
fi
