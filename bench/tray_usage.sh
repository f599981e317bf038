#!/usr/bin/env bash
# Runs the tray clock and a minimal Qt tray program one after the other on a private virtual X display
# with a tray host (Xvfb + trayer), and reports for each what it costs while it sits in the tray: peak
# memory, CPU time, wakeups (voluntary context switches), and for the clock its icon updates and the
# time from start to the first icon.
#
#   bench/tray_usage.sh [PROGRAM [BASELINE [BEFORE]]]
#       PROGRAM   default: build/src/variredu-divar in this checkout
#       BASELINE  default: baseline-tray in the bench/ directory of PROGRAM's build
#       BEFORE    another build of the clock (the code before a change) to measure in the same run:
#                 each clock run NAME can then also be run with it, as NAME@before
#
# VD_USAGE_SECONDS  how long each run lasts (default 120)
# VD_USAGE_WARMUP   seconds after start that count as start-up (default 5); the steady rates are taken
#                   from the rest of the run
# VD_TRAY_RUNS      which runs, in order (default "baseline speech none", with BEFORE
#                   "baseline speech@before speech speech-ja@before speech-ja none@before none"):
#                     baseline  the minimal tray program
#                     speech    the clock with the default speech engine, made at once by an alarm
#                               due at the next Valdrian minute
#                     speech-ja the same under LANG=ja_JP.UTF-8 with the time signal on and the alarm
#                               titled in kanji, so the kana reading is loaded too
#                     speech-ja-plain  the same with the kana reading turned off
#                     none      the clock with --speech-engine none
#
# Each clock run gets fresh XDG_CONFIG_HOME and XDG_RUNTIME_DIR directories (so default settings, and
# its own single-instance lock and speech-dispatcher) and no D-Bus session, so every program here
# docks through XEmbed into trayer. A speech-dispatcher started for the speech run is a process of its
# own, not counted, and is stopped after the run.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib/usage.sh"
program=${1:-$here/../build/src/variredu-divar}
baseline=${2:-$(dirname "$program")/../bench/baseline-tray}
before=${3:-}
seconds=${VD_USAGE_SECONDS:-120}
warmup=${VD_USAGE_WARMUP:-5}
if [ -n "$before" ]; then
    runs=${VD_TRAY_RUNS:-baseline speech@before speech speech-ja@before speech-ja none@before none}
    need_executable "$before"
else
    runs=${VD_TRAY_RUNS:-baseline speech none}
fi

need_executable "$program"
need_executable "$baseline"
need_durations VD_USAGE_SECONDS "$seconds" VD_USAGE_WARMUP "$warmup"
need_tools "xvfb trayer x11-utils" Xvfb trayer xwininfo

# shellcheck disable=SC2317 # runs from the trap
stop_more() { local dir; for dir in "$work"/run-*; do stop_speech_dispatchers "$dir"; done; }

# Voluntary context switches of the threads alive now: each is a thread going to sleep, so each
# counts a wakeup.
voluntary_switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null | awk '$1 == "voluntary_ctxt_switches:" { n += $2 } END { print n + 0 }'
}

# Per live thread: id, voluntary switches, CPU in ns (schedstat); a snapshot for thread_table.
thread_snapshot() {
    local task switches run rest
    for task in /proc/"$1"/task/*; do
        [ -r "$task/status" ] || continue
        switches=$(awk '$1 == "voluntary_ctxt_switches:" { print $2 }' "$task/status")
        read -r run rest <"$task/schedstat"
        echo "${task##*/} $switches $run"
    done
}

# Per live thread: name, voluntary switches and CPU in all, and since the snapshot in file $2 (or
# since the thread started, for threads that were not there yet).
thread_table() {
    local tid switches run name before_switches before_run
    while read -r tid switches run; do
        name=$(cat "/proc/$1/task/$tid/comm" 2>/dev/null || echo "?")
        read -r before_switches before_run < <(awk -v tid="$tid" '$1 == tid { print $2, $3 }' "$2")
        printf '    %-16s %6s voluntary switches, %8s ms CPU; after start-up %6s switches, %8s ms\n' \
            "$name" "$switches" "$(ms $((run / 1000)))" "$((switches - ${before_switches:-0}))" \
            "$(ms $(((run - ${before_run:-0}) / 1000)))"
    done < <(thread_snapshot "$1")
}

# Decimal division for the report.
ratio() {
    awk -v a="$1" -v b="$2" -v digits="${3:-2}" 'BEGIN { if (b == 0) print "n/a"; else printf "%.*f\n", digits, a / b }'
}

start_tray_host

# The settings for the speech runs: one alarm at the Valdrian minute after the present one, so the
# first tick that sees it (within 175/60 s) makes the speech engine; its title $2 and, when $3 is
# given, the time signal.
write_alarm_settings() {
    local config=$1 title=${2:-} signal=${3:-} label hour minute
    label=$("$program" --once)
    if ! [[ $label =~ ^VT:\ ([0-9]{2}):([0-9]{2})$ ]]; then
        echo "tray_usage: unexpected --once output: $label" >&2
        return 1
    fi
    hour=$((10#${BASH_REMATCH[1]}))
    minute=$((10#${BASH_REMATCH[2]} + 1))
    if [ "$minute" -eq 60 ]; then
        minute=0
        hour=$(((hour + 1) % 24))
    fi
    mkdir -p "$config/variredu-divar"
    printf '[General]\n%balarms="[{\\"id\\":\\"6B1E0F52-3C7A-4D9E-8F21-5A4C3B2D1E0F\\",\\"hour\\":\\"%02d\\",\\"minutes\\":\\"%02d\\",\\"title\\":\\"%s\\",\\"enabled\\":true}]"\n' \
        "${signal:+enableTimeSignal=true\n}" "$hour" "$minute" "$title" >"$config/variredu-divar/variredu-divar.conf"
    printf '%02d:%02d' "$hour" "$minute"
}

# Results by run, for the summary.
declare -A hwm cpu_all cpu_steady wake_all wake_steady icons_per_min first_icon_ms

run() {
    local name=$1 clock=$program
    if [[ $name == *@before ]]; then
        clock=$before
        if [ -z "$before" ]; then
            echo "tray_usage: run \"$name\" needs the BEFORE program" >&2
            return 1
        fi
    fi
    local config="$work/config-$name" runtime="$work/run-$name" err="$work/err-$name"
    mkdir -p "$config"
    mkdir -m 700 "$runtime"
    local -a command
    local alarm=
    case ${name%@before} in
    baseline) command=("$baseline") ;;
    speech)
        alarm=$(write_alarm_settings "$config")
        command=("$clock")
        ;;
    speech-ja | speech-ja-plain)
        alarm=$(write_alarm_settings "$config" "釣り大会、ボス討伐" signal)
        if [ "${name%@before}" = speech-ja-plain ]; then
            echo "japaneseKanaReading=false" >>"$config/variredu-divar/variredu-divar.conf"
        fi
        command=(env LANG=ja_JP.UTF-8 LANGUAGE= "$clock")
        ;;
    none) command=("$clock" --speech-engine none) ;;
    *)
        echo "tray_usage: unknown run \"$name\" (baseline, speech, speech-ja, speech-ja-plain or none)" >&2
        return 1
        ;;
    esac

    local started_us
    started_us=$(now_us)
    XDG_CONFIG_HOME="$config" XDG_RUNTIME_DIR="$runtime" \
        QT_LOGGING_RULES="variredu.tray.debug=true;variredu.speech.debug=true" \
        QT_MESSAGE_PATTERN="%{time yyyy-MM-dd HH:mm:ss.zzz} %{type} %{if-category}%{category}: %{endif}%{message}" \
        "${command[@]}" >/dev/null 2>"$err" &
    pid=$!

    sleep "$warmup"
    survived_warmup "$name" "$err" || return 1
    local warm_us warm_ms warm_cpu_us warm_switches
    warm_us=$(now_us)
    warm_ms=$(cpu_ms "$pid")
    warm_cpu_us=$(live_cpu_us "$pid")
    warm_switches=$(voluntary_switches "$pid")
    thread_snapshot "$pid" >"$work/threads-$name"
    sleep $((seconds - warmup))

    local end_us end_ms end_cpu_us end_switches hwm_kb rss_kb threads docked=no threads_at_end
    end_us=$(now_us)
    end_ms=$(cpu_ms "$pid")
    end_cpu_us=$(live_cpu_us "$pid")
    end_switches=$(voluntary_switches "$pid")
    hwm_kb=$(status_kb "$pid" VmHWM)
    rss_kb=$(status_kb "$pid" VmRSS)
    threads=$(status_kb "$pid" Threads)
    threads_at_end=$(thread_table "$pid" "$work/threads-$name")
    # trayer reparents a docked icon into its panel, where its own windows have no name.
    local panel
    panel=$(trayer_panel || true)
    if [ -n "$panel" ] && xwininfo -tree -id "$panel" 2>/dev/null | grep -qE '^ +0x[0-9a-f]+ "[^"]+": \('; then
        docked=yes
    fi
    local anon_kb file_kb
    anon_kb=$(status_kb "$pid" RssAnon)
    file_kb=$(status_kb "$pid" RssFile)
    stop_measured
    if [[ $name == speech* ]]; then
        stop_speech_dispatchers "$runtime"
    fi

    local run_us=$((end_us - started_us)) steady_us=$((end_us - warm_us))
    local whole_s steady_s
    whole_s=$(ratio "$run_us" 1000000 3)
    steady_s=$(ratio "$steady_us" 1000000 3)
    hwm[$name]=$hwm_kb
    cpu_all[$name]=$(ratio "$end_cpu_us" "$((run_us / 100))" 3)          # percent of one core
    cpu_steady[$name]=$(ratio "$((end_cpu_us - warm_cpu_us))" "$((steady_us / 100))" 3)
    wake_all[$name]=$(ratio "$end_switches" "$whole_s" 2)
    wake_steady[$name]=$(ratio "$((end_switches - warm_switches))" "$steady_s" 2)

    echo "$name: ${command[*]}"
    echo "  run:                ${whole_s} s, ${threads} threads at the end, icon docked in trayer: ${docked}," \
        "exit status ${exit_status} $(ms "$stop_us") ms after SIGTERM"
    echo "  CPU (user+sys):     ${end_ms} ms in all (/proc/PID/stat, clock ticks of $((1000 / ticks_per_second)) ms)," \
        "${warm_ms} ms of it in the first ${warmup} s"
    echo "  CPU, live threads:  $(ms "$end_cpu_us") ms in all, $(ms "$warm_cpu_us") ms in the first ${warmup} s" \
        "(schedstat); ${cpu_all[$name]} % of one core over the run, ${cpu_steady[$name]} % after start-up"
    echo "  peak RSS (VmHWM):   ${hwm_kb} kB ($(ratio "$hwm_kb" 1024 1) MiB; VmRSS at the end ${rss_kb} kB," \
        "of it ${anon_kb} kB anonymous and ${file_kb} kB file-backed)"
    echo "  wakeups:            ${end_switches} voluntary context switches in all, ${wake_all[$name]} a second" \
        "over the run, ${wake_steady[$name]} a second after start-up"
    echo "  threads at the end:"
    echo "$threads_at_end"

    if [ "$name" != baseline ]; then
        # The clock's debug line for each icon it hands over, with the time it was written.
        local updates=0 first_ms=n/a rate=n/a shortest=n/a repeats=0
        grep 'variredu.tray: icon handed over' "$err" >"$work/icons-$name" || true
        updates=$(wc -l <"$work/icons-$name")
        if [ "$updates" -gt 0 ]; then
            cut -c1-23 "$work/icons-$name" | date -f - +%s%6N >"$work/icon-times-$name"
            first_ms=$(ratio "$(($(head -n1 "$work/icon-times-$name") - started_us))" 1000 1)
            # The first icon is the one shown at start; the rate is that of the changes after it,
            # from the first change to the last, so the run's length doesn't round it.
            read -r rate shortest < <(awk 'NR > 1 { t[++n] = $1 }
                END {
                    if (n < 2) { print "n/a n/a"; exit }
                    shortest = t[2] - t[1]
                    for (i = 2; i <= n; ++i) if (t[i] - t[i - 1] < shortest) shortest = t[i] - t[i - 1]
                    printf "%.2f %.3f\n", (n - 1) * 60e6 / (t[n] - t[1]), shortest / 1e6
                }' "$work/icon-times-$name")
            repeats=$(sed 's/.*icon handed over: //' "$work/icons-$name" | uniq -d | wc -l)
        fi
        icons_per_min[$name]=$rate
        first_icon_ms[$name]=$first_ms
        echo "  icon updates:       ${updates} in all, the first ${first_ms} ms after the start; then ${rate}" \
            "a minute (shortest gap ${shortest} s), ${repeats} with the same label as the one before"
    fi
    if [[ $name == speech* ]]; then
        local engine
        engine=$(grep -m1 -E 'variredu.speech: engine "' "$err" || true)
        if [ -n "$engine" ]; then
            echo "  speech engine:      started (alarm at VT ${alarm}): ${engine#* * * }"
        elif grep -q 'speech unavailable' "$err"; then
            echo "  speech engine:      NOT available: $(grep -m1 'speech unavailable' "$err")"
        else
            echo "  speech engine:      NOT started within the run (alarm at VT ${alarm})"
        fi
        local reading
        reading=$(grep -m1 -E 'variredu.speech: kana reading' "$err" || true)
        [ -z "$reading" ] || echo "  kana reading:       ${reading#* * * }"
    fi
    # Everything but the debug lines read above: warnings (a stuck announcement, say) and anything else.
    if grep -q -v -E ' debug variredu\.(tray|speech): ' "$err"; then
        echo "  other stderr:"
        grep -v -E ' debug variredu\.(tray|speech): ' "$err" | sed 's/^/    /'
    fi
}

echo "tray_usage: $(date -u +%Y-%m-%dT%H:%M:%SZ), $(nproc) CPUs, load average $(cut -d' ' -f1-3 /proc/loadavg)," \
    "display $DISPLAY, ${seconds} s a run, ${warmup} s of start-up"
status=0
for name in $runs; do
    run "$name" || status=1
done

echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ -n "${hwm[baseline]:-}" ]; then
    echo "aims (against the baseline of this run):"
    for name in $runs; do
        [ "$name" != baseline ] && [ -n "${hwm[$name]:-}" ] || continue
        case ${name%@before} in
        speech) limit=1.25 ;;
        speech-ja*) limit=1.35 ;;
        *) limit=1.2 ;;
        esac
        awk -v name="$name" -v hwm="${hwm[$name]}" -v base="${hwm[baseline]}" -v limit="$limit" \
            -v cpu_all="${cpu_all[$name]}" -v cpu_steady="${cpu_steady[$name]}" \
            -v wake="${wake_all[$name]}" -v wake_steady="${wake_steady[$name]}" \
            -v base_wake="${wake_all[baseline]}" -v base_wake_steady="${wake_steady[baseline]}" \
            -v icons="${icons_per_min[$name]}" -v first="${first_icon_ms[$name]}" '
            function verdict(ok) { return ok ? "met" : "NOT met" }
            BEGIN {
                printf "  %s: RSS %.2fx the baseline (aim <= %sx): %s\n", name, hwm / base, limit,
                    verdict(hwm / base <= limit)
                printf "  %s: CPU (aim < 0.1 %% of a core over the run, < 0.05 %% after start-up): over the run" \
                    " %s %%: %s; after start-up %s %%: %s\n", name, cpu_all, verdict(cpu_all < 0.1), cpu_steady,
                    verdict(cpu_steady < 0.05)
                printf "  %s: wakeups (aim <= the baseline + 1.5/s): over the run %s/s against %s/s: %s;" \
                    " after start-up %s/s against %s/s: %s\n", name, wake, base_wake,
                    verdict(wake <= base_wake + 1.5), wake_steady, base_wake_steady,
                    verdict(wake_steady <= base_wake_steady + 1.5)
                printf "  %s: icon updates %s a minute (aim <= 21): %s\n", name, icons,
                    icons == "n/a" ? "n/a" : verdict(icons <= 21)
                printf "  %s: first icon %s ms after the start (aim < 300 ms): %s\n", name, first,
                    first == "n/a" ? "n/a" : verdict(first < 300)
            }'
    done
fi
exit "$status"
