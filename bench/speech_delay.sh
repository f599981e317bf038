#!/usr/bin/env bash
# How long an announcement takes from the tick that announces it to speech-dispatcher: the clock runs
# in terminal mode with its default speech engine against a private speech-dispatcher whose default
# module, for English and Japanese, records each text it is asked to say with the time it got it.
# The espeak-ng module is loaded beside it, as on a desktop, so an engine that lists the voices has
# its 13,000 to read. The delay of a text is the time the module got it less the time the label line
# of its minute came out of the clock.
#
#   bench/speech_delay.sh [PROGRAM...]     default: build/src/variredu-divar in this checkout
#
# Several programs (a build before a change and one after it) are run by turns, in one run.
#
# VD_DELAY_RUNS     runs per program and language (default 5)
# VD_DELAY_LANGS    languages, each a run of its own (default "en ja"): en runs under LANG=en_US.UTF-8,
#                   ja under LANG=ja_JP.UTF-8, so the Japanese texts go through the kana reading
# VD_DELAY_SPEECHD  "clock" (default): each run starts with no speech-dispatcher, so the clock has
#                   it started (autospawn) when it first connects; "running": the script starts it
#                   and waits for its socket before starting the clock
#
# Each run stores six untitled alarms at VT 07:01, 07:02 (two), 07:03, 07:04 and 07:05, and starts
# the clock with --at so that its first tick, one second after the start, is the first of 07:01:
# the announcements come on six ticks, one second to 15 s after the start. "first" is the text of
# 07:01, the first of the run; "later" are the others.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib/usage.sh"
if [ $# -eq 0 ]; then set -- "$here/../build/src/variredu-divar"; fi
runs=${VD_DELAY_RUNS:-5}
langs=${VD_DELAY_LANGS:-en ja}
speechd=${VD_DELAY_SPEECHD:-clock}

for program; do need_executable "$program"; done
need_tools "speech-dispatcher speech-dispatcher-espeak-ng" speech-dispatcher
if ! [[ $runs =~ ^[1-9][0-9]*$ ]] || ! [[ $speechd =~ ^(clock|running)$ ]]; then
    echo "$me: VD_DELAY_RUNS must be a whole number > 0, VD_DELAY_SPEECHD clock or running" >&2
    exit 2
fi

# The real instant at which VT 07:01:00 begins on the first Valdrian day (VT runs 144/7 times as
# fast as real time from the epoch); --at lies 0.5 s before the first tick's.
at=$(awk 'BEGIN { printf "%.4f", (7 * 3600 + 60) * 7 / 144 - 0.5 }')
alarm() { printf '{\\"id\\":\\"%08X-0000-4000-8000-%012X\\",\\"hour\\":\\"07\\",\\"minutes\\":\\"%s\\",\\"title\\":\\"\\",\\"enabled\\":true}' "$1" "$1" "$2"; }
alarms="[$(alarm 1 01),$(alarm 2 02),$(alarm 3 02),$(alarm 4 03),$(alarm 5 04),$(alarm 6 05)]"
texts=6

stop_more() { local d; for d in "$work"/*/run; do [ -d "$d" ] && stop_speech_dispatchers "$d"; done; }

# One run: its dir's texts file gets "NS MINUTE" per text the module got, labels "US VT: HH:MM" per
# label line. Prints nothing; the results are read from the files.
run() { # program, language, dir
    local program=$1 lang=$2 dir=$3 locale=en_US.UTF-8
    [ "$lang" = ja ] && locale=ja_JP.UTF-8
    mkdir -p "$dir/config/variredu-divar" "$dir/config/speech-dispatcher/modules" "$dir/home"
    mkdir -m 700 "$dir/run"
    printf '[General]\nalarms="%s"\n' "$alarms" >"$dir/config/variredu-divar/variredu-divar.conf"
    cat >"$dir/config/speech-dispatcher/speechd.conf" <<EOF
AudioOutputMethod "alsa"
AddModule "capture" "sd_generic" "capture.conf"
AddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"
DefaultModule capture
LanguageDefaultModule "en" "capture"
LanguageDefaultModule "ja" "capture"
EOF
    # The minute is the second number of the text ("7 hours 2 minutes.", "7 ジ 2 フン").
    cat >"$dir/config/speech-dispatcher/modules/capture.conf" <<EOF
GenericExecuteSynth \\
"t=\$(date +%s%N); d=\\'\$DATA\\'; set -- \$d; echo \$t \$3 >> $dir/texts"
GenericMaxChunkLength 1000000
GenericDelimiters "|"
GenericLanguage "en" "en" "utf-8"
GenericLanguage "ja" "ja" "utf-8"
AddVoice "en" "MALE1" "en"
AddVoice "ja" "MALE1" "ja"
EOF
    echo 'pcm.!default { type null }' >"$dir/home/.asoundrc"
    local -a environment=(env -i "PATH=$PATH" "HOME=$dir/home" "XDG_CONFIG_HOME=$dir/config"
        "XDG_RUNTIME_DIR=$dir/run" "LANG=$locale")
    if [ "$speechd" = running ]; then
        "${environment[@]}" speech-dispatcher --spawn >/dev/null 2>&1 || true
        for _ in $(seq 1 100); do
            [ -S "$dir/run/speech-dispatcher/speechd.sock" ] && break
            sleep 0.05
        done
    fi
    : >"$dir/texts"
    # Each label line stamped as it arrives.
    "${environment[@]}" "$program" --terminal --at "$at" 2>"$dir/err" \
        > >(while IFS= read -r line; do echo "${EPOCHREALTIME/./} $line"; done >"$dir/labels") &
    pid=$! # env runs the program in its own place
    for _ in $(seq 1 300); do
        [ "$(wc -l <"$dir/texts")" -ge "$texts" ] && break
        sleep 0.1
    done
    kill -TERM "$pid" 2>/dev/null || true
    wait || true
    pid=
    stop_speech_dispatchers "$dir/run"
}

# "KIND DELAY_MS" for each text of a run: the label line of its minute is the announcing tick.
delays() { # dir
    awk 'FNR == NR { if ($3 ~ /^07:/) { split($3, hm, ":"); label[hm[2] + 0] = $1 } next }
        { minute = $2 + 0
          if (!(minute in label)) { print "unmatched", minute; next }
          printf "%s %.1f\n", (minute == 1 ? "first" : "later"), ($1 / 1000 - label[minute]) / 1000 }' \
        "$1/labels" "$1/texts"
}

summary() { # file of "KIND DELAY_MS", kind
    sort -n -k2 "$1" | awk -v kind="$2" '$1 == kind { v[++n] = $2 }
        END { if (n == 0) { print "none"; exit }
              printf "%d texts: min %.1f, median %.1f, max %.1f ms\n", n, v[1], v[int((n + 1) / 2)], v[n] }'
}

echo "speech_delay: $(date -u +%Y-%m-%dT%H:%M:%SZ), $(nproc) CPUs, load average $(cut -d' ' -f1-3 /proc/loadavg)," \
    "$runs run(s) per program and language, speech-dispatcher started by: $speechd"
declare -A got
for i in $(seq 1 "$runs"); do
    for lang in $langs; do
        n=0
        for program; do
            n=$((n + 1))
            dir="$work/p$n-$lang-$i"
            run "$program" "$lang" "$dir"
            delays "$dir" >>"$work/delays-p$n-$lang"
            got[p$n-$lang]=$((${got[p$n-$lang]:-0} + $(wc -l <"$dir/texts")))
            if [ "$(wc -l <"$dir/texts")" -lt "$texts" ]; then
                echo "  run $i, $lang, program $n: only $(wc -l <"$dir/texts") of $texts texts; stderr:"
                sed 's/^/    /' "$dir/err" | head -n 5
            fi
        done
    done
done
n=0
for program; do
    n=$((n + 1))
    echo "program $n: $program"
    for lang in $langs; do
        echo "  $lang: ${got[p$n-$lang]} of $((runs * texts)) texts received"
        echo "    first: $(summary "$work/delays-p$n-$lang" first)"
        echo "    later: $(summary "$work/delays-p$n-$lang" later)"
        echo "    each first: $(awk '$1 == "first" { printf "%s ", $2 }' "$work/delays-p$n-$lang")"
    done
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
