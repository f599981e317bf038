#!/usr/bin/env bash
# Opens the alarm settings window of the tray clock on a long stored list, on a private virtual X
# display with a tray host (Xvfb + trayer), and reports what it costs: time from the request to the
# window on screen, CPU, memory before and after, and the longest gap between the clock's icon
# updates around it (the clock must keep ticking while the window is made).
#
#   bench/settings_window_usage.sh [PROGRAM]
#       PROGRAM   default: build/src/variredu-divar in this checkout
#
# VD_ALARMS   how many alarms are stored (default 10000)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib/usage.sh"
program=${1:-$here/../build/src/variredu-divar}
alarms=${VD_ALARMS:-10000}

need_executable "$program"
need_tools "xvfb trayer x11-utils perl" Xvfb trayer xwininfo perl
if ! [[ $alarms =~ ^[0-9]+$ ]]; then
    echo "$me: VD_ALARMS must be a whole number" >&2
    exit 2
fi

# Alarm i at hour (i / 60) % 24, minute i % 60, titled "a<i>", all on; as Qt writes a quoted text.
mkdir -p "$work/config/variredu-divar" "$work/run"
chmod 700 "$work/run"
perl -e 'my $n = shift; my @a; for my $i (0 .. $n - 1) {
        push @a, sprintf("{\"id\":\"%08X-0000-4000-8000-%012X\",\"hour\":\"%02d\",\"minutes\":\"%02d\",\"title\":\"a%d\",\"enabled\":true}",
            $i, $i, int($i / 60) % 24, $i % 60, $i) }
    my $json = "[" . join(",", @a) . "]"; $json =~ s/\\/\\\\/g; $json =~ s/"/\\"/g;
    print "[General]\nalarms=\"$json\"\n"' "$alarms" >"$work/config/variredu-divar/variredu-divar.conf"

start_tray_host
clock=(env XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" LANG=ja_JP.UTF-8 QT_QPA_PLATFORM=xcb
    QT_LOGGING_RULES="variredu.tray.debug=true"
    QT_MESSAGE_PATTERN="%{time yyyy-MM-dd HH:mm:ss.zzz} %{if-category}%{category}: %{endif}%{message}"
    "$program" --speech-engine none)
"${clock[@]}" 2>"$work/clock.err" &
pid=$!
sleep 5
survived_warmup clock "$work/clock.err"

settings_window() { xwininfo -root -tree 2>/dev/null | grep -q '"アラーム設定"'; }
rss_before=$(status_kb "$pid" VmRSS)
cpu_before=$(cpu_ms "$pid")
asked=$(now_us)
"${clock[@]}" >/dev/null 2>&1
until settings_window; do
    if (($(now_us) - asked > 60000000)); then
        echo "$me: no window after 60 s" >&2
        exit 1
    fi
    sleep 0.01
done
shown=$(now_us)
sleep 5
cpu_after=$(cpu_ms "$pid")
rss_after=$(status_kb "$pid" VmRSS)
peak=$(status_kb "$pid" VmHWM)
stop_measured

# Gaps between icon updates, from their wall-clock stamps.
longest_gap=$(grep 'variredu.tray: icon handed over' "$work/clock.err" | awk '
    { split($2, t, ":"); s = t[1] * 3600 + t[2] * 60 + t[3]; if (NR > 1 && s - last > gap) gap = s - last; last = s }
    END { printf "%.1f", gap }')

echo "alarms stored:                     $alarms"
echo "request to window on screen:       $(ms $((shown - asked))) ms"
echo "CPU from request to 5 s after:     $((cpu_after - cpu_before)) ms"
echo "RSS before / 5 s after:            $rss_before kB / $rss_after kB"
echo "peak RSS:                          $peak kB"
echo "longest gap between icon updates:  $longest_gap s (one Valdrian minute is 2.9 s)"
echo "exit status on SIGTERM:            $exit_status"
